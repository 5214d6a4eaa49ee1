#include "LoopPlayer.h"

#include "adx/AdxDecoder.h"
#include "adx/AdxHeader.h"
#include "parser/PlannedReader.h"
#include "parser/StreamPlanner.h"

#include <array>

namespace {

constexpr std::int64_t kChunkBytes = 65536;
// A pass longer than this many chunks means the plan never ends.
constexpr std::int32_t kMaxStepsPerPass = 1 << 20;

} // namespace

PlayedPasses LoopPlayer::Play(const std::vector<std::uint8_t>& stream, std::int32_t loopIndex,
                              std::int32_t passCount) {
    PlayedPasses played;
    const std::optional<std::int32_t> headerLength =
        stream.size() >= kAdxPrefixBytes ? AdxHeaderLength(stream.data()) : std::nullopt;
    AdxHeader header;
    if (!headerLength || *headerLength > static_cast<std::int64_t>(stream.size()) ||
        ParseAdxHeader(*headerLength, stream.data(), header) != kAdxHeaderAccepted ||
        header.blockSize != kAdxBlockBytes || header.samplesPerBlock != kAdxBlockSamples ||
        (header.channelCount != 1 && header.channelCount != 2)) {
        return played;
    }
    StreamPlanner planner;
    planner.SetStream(header);
    if (loopIndex >= 0 && !planner.SetLoop(loopIndex, true)) {
        return played;
    }
    const std::int64_t frameBytes = std::int64_t{kAdxBlockBytes} * header.channelCount;
    const std::int64_t streamBytes = static_cast<std::int64_t>(stream.size());
    PlannedReader reader(planner, streamBytes, kChunkBytes,
                         planner.Geometry().DefaultBufferBytes());
    reader.Range(0, StreamGeometry::kMaxStreamBytes);

    std::array<AdxChannelHistory, 2> history{};
    for (std::size_t channel = 0; channel < 2; ++channel) {
        history[channel] = {static_cast<std::int16_t>(header.extraWords[2 * channel]),
                            static_cast<std::int16_t>(header.extraWords[2 * channel + 1])};
    }
    const std::int16_t coef1 = static_cast<std::int16_t>(header.coef1);
    const std::int16_t coef2 = static_cast<std::int16_t>(header.coef2);
    bool ok = true;
    std::array<std::int16_t, 2 * kAdxBlockSamples> scratch{};
    const auto decode = [&](const StreamPlanner::Sample& sample, std::int64_t streamByte) {
        const std::int64_t frameCount = sample.sizeBytes / frameBytes;
        if (!ok || frameCount == 0) {
            return;
        }
        if (streamByte < header.dataOffset || streamByte + sample.sizeBytes > streamBytes ||
            sample.mediaEnd <= sample.mediaStart) {
            ok = false;
            return;
        }
        std::vector<std::int16_t>& out = played.passes.back();
        const std::int32_t first = static_cast<std::int32_t>(sample.mediaStart % kAdxBlockSamples);
        const std::int32_t last =
            static_cast<std::int32_t>((sample.mediaEnd - 1) % kAdxBlockSamples) + 1;
        for (std::int64_t frame = 0; frame < frameCount && ok; ++frame) {
            const std::int32_t from = frame == 0 ? first : 0;
            const std::int32_t to = frame == frameCount - 1 ? last : kAdxBlockSamples;
            const std::uint8_t* input = stream.data() + streamByte + frame * frameBytes;
            std::int32_t produced = 0;
            const AdxDecodeStatus status =
                header.channelCount == 2
                    ? DecodePartialFrameStereo(scratch.data(), input, from, to, history[0],
                                               history[1], coef1, coef2, produced)
                    : DecodePartialFrameMono(scratch.data(), input, from, to, history[0], coef1,
                                             coef2, produced);
            ok = status == kAdxDecodeOk;
            out.insert(out.end(), scratch.data(), scratch.data() + produced / 2);
        }
    };
    const std::int32_t passes = loopIndex >= 0 ? passCount : 1;
    played.passes.emplace_back();
    std::int32_t steps = 0;
    while (ok && reader.Jumps() < passes && steps < kMaxStepsPerPass * passes) {
        const int jumpsBefore = reader.Jumps();
        if (!reader.Step(decode)) {
            break;
        }
        ++steps;
        if (reader.Jumps() != jumpsBefore && reader.Jumps() < passes) {
            played.passes.emplace_back();
        }
    }
    played.ok = ok && steps < kMaxStepsPerPass * passes;
    return played;
}
