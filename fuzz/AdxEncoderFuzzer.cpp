// libFuzzer target over the encoder: random PCM (of a random level), channel
// count, version, thread count and loop points, some outside the stream or
// reversed. Checked: the status follows from the loop points; an encoded
// stream plays once (as the parser sequences it, decoded with the project's
// decoder) to exactly the encoder's own decoded samples, and looped to
// [0, end) and then [start, end) per pass; no pass strays from the input by
// more than a bound that the input's level sets.
#include "FuzzCheck.h"
#include "adx/AdxEncoder.h"
#include "adx/LoopPlayer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::int64_t kMaxSamples = 800;
constexpr std::int32_t kPasses = 3;

// Reads the input front to back; 0 once it is used up.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t Byte() { return position_ < size_ ? data_[position_++] : 0U; }
    // A value in [low, high].
    std::int64_t Range(std::int64_t low, std::int64_t high) {
        const std::uint32_t raw = (Byte() << 8) | Byte();
        return low + static_cast<std::int64_t>(raw % static_cast<std::uint64_t>(high - low + 1));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteSource input(data, size);
    AdxEncoderOptions options;
    options.channelCount = static_cast<std::int32_t>(input.Range(1, 2));
    options.version = input.Range(0, 1) == 0 ? 3 : 4;
    options.chooseInitialHistory = input.Range(0, 1) == 1;
    options.threadCount = static_cast<std::int32_t>(input.Range(1, 2));
    const std::int64_t samplesPerChannel = input.Range(1, kMaxSamples);
    const std::int64_t startSample = input.Range(-2, samplesPerChannel + 1);
    const std::int64_t endSample = input.Range(-2, samplesPerChannel + 2);
    options.sampleLoop = AdxSampleLoop{startSample, endSample};
    // The level: every sample lies within +-level.
    const std::int32_t level = static_cast<std::int32_t>(input.Range(0, 32767));
    std::vector<std::int16_t> samples(
        static_cast<std::size_t>(samplesPerChannel * options.channelCount));
    for (std::int16_t& sample : samples) {
        sample = static_cast<std::int16_t>(input.Range(-level, level));
    }

    AdxEncodedStream stream;
    const AdxEncodeStatus status = AdxEncoder(options).Encode(samples, stream);
    if (startSample < 0 || endSample > samplesPerChannel) {
        FUZZ_CHECK(status == AdxEncodeStatus::kLoopOutsideStream);
        return 0;
    }
    if (endSample <= startSample) {
        FUZZ_CHECK(status == AdxEncodeStatus::kLoopEndNotAfterStart);
        return 0;
    }
    FUZZ_CHECK(status == AdxEncodeStatus::kOk);
    FUZZ_CHECK(stream.totalSamples == samplesPerChannel);

    const PlayedPasses once = LoopPlayer::Play(stream.bytes, -1, 1);
    FUZZ_CHECK(once.ok && once.passes.size() == 1);
    FUZZ_CHECK(once.passes[0] == stream.decoded);

    const PlayedPasses looped = LoopPlayer::Play(stream.bytes, 0, kPasses);
    FUZZ_CHECK(looped.ok && looped.passes.size() == kPasses);
    const std::size_t channels = static_cast<std::size_t>(options.channelCount);
    for (std::int32_t pass = 0; pass < kPasses; ++pass) {
        const std::vector<std::int16_t>& played = looped.passes[static_cast<std::size_t>(pass)];
        const std::int64_t first = pass == 0 ? 0 : startSample;
        FUZZ_CHECK(played.size() == static_cast<std::size_t>(endSample - first) * channels);
        // Full-scale noise can drive the predictor into saturation, so the
        // bound is loose: twice the level and a margin.
        const std::size_t offset = static_cast<std::size_t>(first) * channels;
        for (std::size_t i = 0; i < played.size(); ++i) {
            FUZZ_CHECK(std::abs(played[i] - samples[offset + i]) <= 2 * level + 1024);
        }
    }
    return 0;
}
