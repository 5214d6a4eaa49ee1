#include "ParserFixtures.h"

#include "TestSignal.h"

namespace parsertest {

AdxEncodedStream EncodeStream(const StreamParams& params) {
    AdxEncoderOptions options;
    options.channelCount = params.channelCount;
    options.sampleRate = params.sampleRate;
    options.version = params.version;
    options.loops = params.loops;
    options.initialHistory = {100, -50, 30, -20};
    const std::vector<std::int16_t> signal =
        MakeToneSignal(params.channelCount, params.sampleRate, params.totalSamples, 440.0, 12000);
    AdxEncodedStream encoded;
    EXPECT_TRUE(AdxEncoder(options).Encode(signal, encoded) == AdxEncodeStatus::kOk);
    return encoded;
}

std::int32_t OneLoopHeaderLength(const StreamParams& params) {
    AdxEncoderOptions options;
    options.channelCount = params.channelCount;
    options.version = params.version;
    options.loops = {AdxLoopPoint{}};
    return AdxEncoder(options).HeaderLength();
}

} // namespace parsertest
