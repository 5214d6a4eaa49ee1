// Streams from the fixture encoder through the header parser and the
// decoding routines, compared with the PCM the encoder reconstructed.
#include "adx/AdxDecoder.h"
#include "adx/AdxHeader.h"

#include "adx/AdxEncoder.h"
#include "PcmCompare.h"
#include "TestSignal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int32_t kMaxFramesPerCall = 512; // what the decoder filter passes at most

struct Decoded {
    AdxDecodeStatus status = kAdxDecodeOk;
    std::vector<std::int16_t> samples; // totalSamples per channel, interleaved
};

std::array<AdxChannelHistory, 2> InitialHistory(const AdxHeader& header) {
    auto word = [&](int i) { return static_cast<std::int16_t>(header.extraWords[i]); };
    return {AdxChannelHistory{word(0), word(1)}, AdxChannelHistory{word(2), word(3)}};
}

// Decodes the data area in calls of up to 512 whole frames, as the decoder
// filter does, and trims to the header's total.
Decoded DecodeStream(const AdxHeader& header, const std::uint8_t* data, std::size_t dataBytes) {
    const std::int32_t frameBytes = header.blockSize * header.channelCount;
    const std::int32_t frameCount = static_cast<std::int32_t>(dataBytes / frameBytes);
    std::array<AdxChannelHistory, 2> histories = InitialHistory(header);
    Decoded decoded;
    decoded.samples.resize(static_cast<std::size_t>(frameCount) * 32 * header.channelCount);
    std::size_t outputSamples = 0;
    for (std::int32_t frame = 0; frame < frameCount; frame += kMaxFramesPerCall) {
        const std::int32_t count = std::min(kMaxFramesPerCall, frameCount - frame);
        std::int32_t bytesProduced = 0;
        const std::int16_t coef1 = static_cast<std::int16_t>(header.coef1);
        const std::int16_t coef2 = static_cast<std::int16_t>(header.coef2);
        decoded.status =
            header.channelCount == 2
                ? DecodeFramesStereo(decoded.samples.data() + outputSamples,
                                     data + static_cast<std::size_t>(frame) * frameBytes, count,
                                     histories[0], histories[1], coef1, coef2, bytesProduced)
                : DecodeFramesMono(decoded.samples.data() + outputSamples,
                                   data + static_cast<std::size_t>(frame) * frameBytes, count,
                                   histories[0], coef1, coef2, bytesProduced);
        if (decoded.status != kAdxDecodeOk) {
            return decoded;
        }
        outputSamples += static_cast<std::size_t>(bytesProduced) / 2;
    }
    decoded.samples.resize(static_cast<std::size_t>(header.totalSamples) * header.channelCount);
    return decoded;
}

double SignalToNoiseDb(const std::vector<std::int16_t>& signal,
                       const std::vector<std::int16_t>& decoded) {
    double signalPower = 0, noisePower = 0;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const double error = static_cast<double>(signal[i]) - decoded[i];
        signalPower += static_cast<double>(signal[i]) * signal[i];
        noisePower += error * error;
    }
    return 10.0 * std::log10(signalPower / std::max(noisePower, 1.0));
}

struct StreamCase {
    const char* name;
    std::int32_t channelCount;
    std::int32_t sampleRate;
    std::int32_t version;
    std::array<std::int16_t, 4> history;
    std::int32_t samplesPerChannel;
    const char* signal;
    double minimumSnrDb;
};

std::vector<std::int16_t> MakeSignal(const StreamCase& c) {
    const std::string signal = c.signal;
    if (signal == "tone") {
        return MakeToneSignal(c.channelCount, c.sampleRate, c.samplesPerChannel, 440.0, 16000);
    }
    if (signal == "sweep") {
        return MakeSweepSignal(c.channelCount, c.sampleRate, c.samplesPerChannel, 50.0, 15000.0,
                               20000);
    }
    return MakeNoiseSignal(c.channelCount, c.samplesPerChannel, 32767, 42);
}

const StreamCase kStreamCases[] = {
    {"mono tone v3", 1, 44100, 3, {}, 44100, "tone", 25.0},
    {"stereo tone v3", 2, 48000, 3, {}, 20000, "tone", 25.0},
    {"mono sweep v4", 1, 22050, 4, {1200, -800, 0, 0}, 30001, "sweep", 12.0},
    {"stereo sweep v4 with history",
     2,
     44100,
     4,
     {-3000, 2000, 32767, -32768},
     40000,
     "sweep",
     12.0},
    // Full-scale noise saturates the prediction often; only exactness counts.
    {"stereo noise v3", 2, 32000, 3, {}, 5000, "noise", 0.0},
    {"mono, one sample", 1, 44100, 3, {}, 1, "tone", 0.0},
};

TEST(AdxRoundTrip, DecodedStreamsMatchTheEncodersReconstruction) {
    for (const StreamCase& c : kStreamCases) {
        AdxEncoderOptions options;
        options.channelCount = c.channelCount;
        options.sampleRate = c.sampleRate;
        options.version = c.version;
        options.initialHistory = c.history;
        const std::vector<std::int16_t> signal = MakeSignal(c);
        AdxEncodedStream stream;
        ASSERT_TRUE(AdxEncoder(options).Encode(signal, stream) == AdxEncodeStatus::kOk) << c.name;

        const std::optional<std::int32_t> headerLength = AdxHeaderLength(stream.bytes.data());
        ASSERT_EQ(headerLength, stream.headerLength) << c.name;
        AdxHeader header;
        ASSERT_EQ(ParseAdxHeader(*headerLength, stream.bytes.data(), header), kAdxHeaderAccepted)
            << c.name;
        EXPECT_EQ(header.version, c.version) << c.name;
        EXPECT_EQ(header.channelCount, c.channelCount) << c.name;
        EXPECT_EQ(header.sampleRate, c.sampleRate) << c.name;
        EXPECT_EQ(header.totalSamples, c.samplesPerChannel) << c.name;
        EXPECT_EQ(header.samplesPerBlock, 32) << c.name;
        EXPECT_EQ(header.coef1, stream.coef1) << c.name;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(static_cast<std::int16_t>(header.extraWords[i]),
                      c.version == 4 ? c.history[i] : 0)
                << c.name;
        }

        const Decoded decoded =
            DecodeStream(header, stream.bytes.data() + header.dataOffset,
                         stream.bytes.size() - static_cast<std::size_t>(header.dataOffset));
        ASSERT_EQ(decoded.status, kAdxDecodeOk) << c.name;
        EXPECT_EQ(FirstPcmMismatch(decoded.samples, stream.decoded), -1)
            << c.name << ": " << DescribePcmMismatch(decoded.samples, stream.decoded);
        if (c.minimumSnrDb > 0) {
            EXPECT_GE(SignalToNoiseDb(signal, decoded.samples), c.minimumSnrDb) << c.name;
        }
    }
}

// The decoder filter's pattern for a media sample whose edges fall inside
// frames: a partial first frame, whole frames, a partial last frame.
TEST(AdxRoundTrip, PartialEdgesAndWholeFramesJoinSeamlessly) {
    AdxEncoderOptions options;
    options.channelCount = 2;
    options.version = 4;
    options.initialHistory = {100, 50, -100, -50};
    AdxEncodedStream stream;
    ASSERT_TRUE(AdxEncoder(options).Encode(MakeSweepSignal(2, 44100, 32 * 20, 100, 9000, 15000),
                                           stream) == AdxEncodeStatus::kOk);
    AdxHeader header;
    ASSERT_EQ(ParseAdxHeader(stream.headerLength, stream.bytes.data(), header), kAdxHeaderAccepted);
    const std::uint8_t* data = stream.bytes.data() + header.dataOffset;
    const std::int16_t coef1 = static_cast<std::int16_t>(header.coef1);
    const std::int16_t coef2 = static_cast<std::int16_t>(header.coef2);

    // Frames 0..5 decoded whole first, to reach the history before frame 6.
    std::array<AdxChannelHistory, 2> histories = InitialHistory(header);
    std::vector<std::int16_t> scratch(6 * 64);
    std::int32_t bytesProduced = 0;
    ASSERT_EQ(DecodeFramesStereo(scratch.data(), data, 6, histories[0], histories[1], coef1, coef2,
                                 bytesProduced),
              kAdxDecodeOk);
    // Frame 6 in two partial calls (0..11, 12..31), frames 7..9 whole, then
    // samples 0..20 of frame 10.
    const std::int32_t firstStart = 0, firstSplit = 12, lastEnd = 21;
    std::vector<std::int16_t> output(2 * (32 * 5));
    std::int32_t written = 0;
    ASSERT_EQ(DecodePartialFrameStereo(output.data(), data + 6 * 36, firstStart, firstSplit,
                                       histories[0], histories[1], coef1, coef2, bytesProduced),
              kAdxDecodeOk);
    written += bytesProduced;
    ASSERT_EQ(DecodePartialFrameStereo(output.data() + written / 2, data + 6 * 36, firstSplit, 32,
                                       histories[0], histories[1], coef1, coef2, bytesProduced),
              kAdxDecodeOk);
    written += bytesProduced;
    ASSERT_EQ(DecodeFramesStereo(output.data() + written / 2, data + 7 * 36, 3, histories[0],
                                 histories[1], coef1, coef2, bytesProduced),
              kAdxDecodeOk);
    written += bytesProduced;
    ASSERT_EQ(DecodePartialFrameStereo(output.data() + written / 2, data + 10 * 36, 0, lastEnd,
                                       histories[0], histories[1], coef1, coef2, bytesProduced),
              kAdxDecodeOk);
    written += bytesProduced;
    ASSERT_EQ(written, 2 * 2 * (4 * 32 + lastEnd));
    output.resize(static_cast<std::size_t>(written) / 2);

    const std::vector<std::int16_t> expected(stream.decoded.begin() + 2 * 6 * 32,
                                             stream.decoded.begin() + 2 * (10 * 32 + lastEnd));
    EXPECT_EQ(FirstPcmMismatch(output, expected), -1) << DescribePcmMismatch(output, expected);
}

TEST(AdxRoundTrip, LoopRecordsAndHeaderLengthSurviveTheParser) {
    for (const std::int32_t version : {3, 4}) {
        AdxEncoderOptions options;
        options.channelCount = 2;
        options.version = version;
        options.headerLength = 0x800;
        options.loops = {AdxEncoder::MakeLoopPoint(1000, 30000, 0x800, 2),
                         AdxEncoder::MakeLoopPoint(64, 96, 0x800, 2)};
        AdxEncodedStream stream;
        ASSERT_TRUE(AdxEncoder(options).Encode(MakeToneSignal(2, 44100, 40000, 300, 8000),
                                               stream) == AdxEncodeStatus::kOk);
        AdxHeader header;
        ASSERT_EQ(ParseAdxHeader(stream.headerLength, stream.bytes.data(), header),
                  kAdxHeaderAccepted);
        EXPECT_EQ(header.dataOffset, 0x800);
        ASSERT_EQ(header.loops.size(), 2u) << "version " << version;
        const AdxLoopPoint& first = header.loops[0];
        EXPECT_EQ(first.startSample, 1000);
        EXPECT_EQ(first.startByte, 0x800 + (1000 / 32) * 36);
        EXPECT_EQ(first.startTrim, 1000 % 32);
        EXPECT_EQ(first.endSample, 30000);
        EXPECT_EQ(first.endByte, 0x800 + (30000 / 32) * 36);
        EXPECT_EQ(first.endTrim, 0);
        EXPECT_EQ(header.loops[1].startTrim, 0);
        EXPECT_EQ(header.loops[1].startByte, 0x800 + 2 * 36);
    }
}

TEST(AdxRoundTrip, EncoderRefusesWhatItCannotWrite) {
    struct Case {
        const char* name;
        AdxEncoderOptions options;
        std::size_t sampleCount;
    };
    auto with = [](auto change) {
        AdxEncoderOptions options;
        change(options);
        return options;
    };
    const Case cases[] = {
        {"3 channels", with([](AdxEncoderOptions& o) { o.channelCount = 3; }), 30},
        {"version 5", with([](AdxEncoderOptions& o) { o.version = 5; }), 30},
        {"rate 0", with([](AdxEncoderOptions& o) { o.sampleRate = 0; }), 30},
        {"header too short for its loops", with([](AdxEncoderOptions& o) {
             o.loops.resize(2);
             o.headerLength = 0x14 + 24 + 6;
         }),
         30},
        {"odd sample count in stereo", with([](AdxEncoderOptions& o) { o.channelCount = 2; }), 31},
        {"no samples", with([](AdxEncoderOptions& o) { o.channelCount = 2; }), 0},
    };
    for (const Case& c : cases) {
        AdxEncodedStream stream;
        EXPECT_NE(AdxEncoder(c.options).Encode(std::vector<std::int16_t>(c.sampleCount), stream),
                  AdxEncodeStatus::kOk)
            << c.name;
    }
}

} // namespace
