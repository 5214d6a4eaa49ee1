#include "AdxEncoding.h"

#include "AdxEncoder.h"

#include <utility>

namespace {

constexpr std::int32_t kSamplesPerFrame = 32;

// The record that makes the parser play [start, end) on every pass after
// the first: the first pass ends at endSample + 32 - endTrim, a jump resumes
// at the frame of startByte plus startTrim.
AdxLoopPoint LoopRecord(const WavLoop& loop, std::int32_t headerLength, std::int32_t channelCount) {
    const auto start = static_cast<std::int32_t>(loop.startSample);
    const auto end = static_cast<std::int32_t>(loop.endSample);
    const std::int32_t endFrameEnd = (end + kSamplesPerFrame - 1) / kSamplesPerFrame * kSamplesPerFrame;
    AdxLoopPoint record = AdxEncoder::MakeLoopPoint(start, endFrameEnd - kSamplesPerFrame,
                                                    headerLength, channelCount);
    record.endTrim = endFrameEnd - end;
    return record;
}

} // namespace

ExitStatus EncodeAdx(const WavAudio& audio, const AdxEncodeSettings& settings,
                     std::vector<std::uint8_t>& stream, std::string& problem) {
    AdxEncoderOptions options;
    options.channelCount = audio.channelCount;
    options.sampleRate = audio.sampleRate;
    options.cutoffFrequency = settings.cutoffFrequency;
    options.version = settings.headerVersion;
    if (settings.loop) {
        options.loops.resize(1); // sizes the header for one record
        const std::int32_t headerLength = AdxEncoder(options).HeaderLength();
        options.loops[0] = LoopRecord(*settings.loop, headerLength, audio.channelCount);
    }
    AdxEncodedStream encoded;
    if (!AdxEncoder(options).Encode(audio.samples, encoded)) {
        problem = "the encoder refused the stream";
        return ExitStatus::kFailed;
    }
    stream = std::move(encoded.bytes);
    return ExitStatus::kDone;
}
