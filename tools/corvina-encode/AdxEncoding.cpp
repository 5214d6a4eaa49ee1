#include "AdxEncoding.h"

#include "adx/AdxEncoder.h"

#include <utility>

ExitStatus EncodeAdx(const WavAudio& audio, const AdxEncodeSettings& settings,
                     std::vector<std::uint8_t>& stream, std::string& problem) {
    AdxEncoderOptions options;
    options.channelCount = audio.channelCount;
    options.sampleRate = audio.sampleRate;
    options.cutoffFrequency = settings.cutoffFrequency;
    options.version = settings.headerVersion;
    // Version 4 carries the history that best predicts the first samples.
    options.chooseInitialHistory = true;
    options.threadCount = settings.threadCount;
    options.fillDecoded = false;
    if (settings.loop) {
        options.sampleLoop = AdxSampleLoop{settings.loop->startSample, settings.loop->endSample};
    }
    AdxEncodedStream encoded;
    const AdxEncodeStatus status = AdxEncoder(options).Encode(audio.samples, encoded);
    switch (status) {
    case AdxEncodeStatus::kOk:
        stream = std::move(encoded.bytes);
        return ExitStatus::kDone;
    case AdxEncodeStatus::kEmptyInput:
    case AdxEncodeStatus::kTooLong:
        problem = AdxEncoder::StatusText(status);
        return ExitStatus::kRefused;
    case AdxEncodeStatus::kLoopOutsideStream:
    case AdxEncodeStatus::kLoopEndNotAfterStart:
        problem = AdxEncoder::StatusText(status);
        return ExitStatus::kUsage;
    case AdxEncodeStatus::kInvalidOptions:
    default:
        problem = std::string("cannot encode: ") + AdxEncoder::StatusText(status);
        return ExitStatus::kFailed;
    }
}
