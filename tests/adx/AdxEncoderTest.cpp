// The encoder's sample loops, played as the parser sequences them and
// decoded with the project's decoder: the passes are sample-exact, the
// quality holds, the seam costs the first pass no click, and the jump back
// to the loop start is no worse than the rest of the stream.
#include "adx/AdxEncoder.h"

#include "LoopPlayer.h"
#include "TestSignal.h"
#include "adx/AdxDecoder.h"
#include "PcmError.h"
#include "PcmCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::int32_t kRate = 44100;
constexpr std::int32_t kPasses = 3;
constexpr std::int64_t kSeamSamples = 64;

// A signal that repeats every `period` samples, as a well-cut loop does:
// three partials near 220, 700 and 2500 Hz and a little repeating noise.
std::vector<std::int16_t> MakeLoopableSignal(std::int32_t channelCount, std::int64_t sampleCount,
                                             std::int64_t period) {
    std::vector<double> noise(static_cast<std::size_t>(period));
    std::uint32_t seed = 12345;
    for (double& value : noise) {
        seed = seed * 1664525U + 1013904223U;
        value = static_cast<double>(seed >> 20) - 2048.0;
    }
    std::vector<std::int16_t> signal(static_cast<std::size_t>(sampleCount * channelCount));
    const double partials[] = {220.0, 700.0, 2500.0};
    const double periodSamples = static_cast<double>(period);
    for (std::int64_t n = 0; n < sampleCount; ++n) {
        for (std::int32_t channel = 0; channel < channelCount; ++channel) {
            double value = noise[static_cast<std::size_t>(n % period)] / 4;
            for (double frequency : partials) {
                const double cycles = std::max(1.0, std::round(frequency * periodSamples / kRate));
                value += 4000 * std::sin(2 * kPi * cycles * static_cast<double>(n) / periodSamples +
                                         channel + frequency);
            }
            signal[static_cast<std::size_t>(n * channelCount + channel)] =
                static_cast<std::int16_t>(value);
        }
    }
    return signal;
}

// Equal interleaved samples in a row, for a signal written out in full.
struct SampleRun {
    std::int16_t value;
    std::int32_t count;
};

std::vector<std::int16_t> MakeRunSignal(const std::vector<SampleRun>& runs) {
    std::vector<std::int16_t> signal;
    for (const SampleRun& run : runs) {
        signal.insert(signal.end(), static_cast<std::size_t>(run.count), run.value);
    }
    return signal;
}

struct LoopCase {
    const char* name;
    std::int32_t channelCount;
    std::int32_t version;
    std::int64_t totalSamples;
    std::int64_t startSample;
    std::int64_t endSample;
    double seamFactor;        // the seam's error against the body's at most
    double minBodySnr = 25.0; // dB
    // The signal written out, or none for the loopable one.
    std::vector<SampleRun> runs{};
};

// Stereo and loud, nearly held at one value, with a loop in the first two
// frames of a version 3 stream: three passes of a loop this short outweigh
// the first pass in the seam search, and the first pass plays the loop
// start's frames, which the passes share, from silence. Neither may buy the
// loop passes with a saturated first-pass sample. In the step, the loop end
// holds at -16385 while the first pass meets the loop start coming down
// from +16169: no codes serve both, and the loop passes keep a rough seam.
const std::vector<SampleRun> kHeldNoise = {{-16387, 1}, {-15875, 1}, {-16131, 2}, {-16126, 1},
                                           {7174, 1},   {-16387, 1}, {-16382, 1}, {7285, 1},
                                           {16118, 1},  {-16387, 68}};
const std::vector<SampleRun> kLoudStep = {{-16384, 2}, {-14885, 1}, {-12289, 1},
                                          {-16385, 1}, {-14885, 1}, {16169, 1},
                                          {-5591, 43}, {-5378, 1},  {-16385, 27}};
// Quiet, with a loop inside one frame that each pass plays from the end of
// the one before: the first pass gives way to keep the passes from
// drifting, furthest after the loop end, where only a playback without the
// loop goes.
const std::vector<SampleRun> kQuietShortLoop = {{-60, 1},  {-152, 1}, {-242, 1}, {102, 1},
                                                {-123, 1}, {-322, 1}, {103, 1},  {-420, 32}};

const LoopCase kLoopCases[] = {
    {"frame-aligned mono", 1, 3, 20000, 3200, 16000, 1.25},
    {"unaligned stereo", 2, 3, 20000, 1234, 15679, 1.25},
    {"one frame long", 1, 3, 9000, 4000, 4032, 1.25},
    // A loop shorter than two frames is all seam, and its end frame is its
    // start frame: the codes serve every pass at once.
    {"one frame long across a frame edge", 2, 3, 9000, 4010, 4042, 4.5},
    {"inside one frame", 1, 3, 9000, 4005, 4020, 1.25},
    {"end at the stream's end", 2, 3, 19999, 777, 19999, 1.25},
    // Version 3 starts from silence, the loop passes from the loop end: the
    // first frames serve both. Version 4 carries the loop end's history.
    {"the whole stream, version 3", 1, 3, 12345, 0, 12345, 3.0},
    {"the whole stream, version 4", 1, 4, 12345, 0, 12345, 1.25},
    {"version 4, chosen history", 2, 4, 15000, 100, 14995, 1.25},
    {"short loop in loud held noise, version 3", 2, 3, 39, 4, 34, 1.25, 6.0, kHeldNoise},
    {"short loop after a loud step, version 3", 2, 3, 39, 4, 34, 5.0, 6.0, kLoudStep},
    {"quiet loop inside one frame, version 3", 1, 3, 39, 4, 12, 1.5, 2.0, kQuietShortLoop},
};

TEST(AdxEncoderLoop, PassesAreSampleExactAndTheSeamIsClean) {
    for (const LoopCase& c : kLoopCases) {
        SCOPED_TRACE(c.name);
        const std::size_t channels = static_cast<std::size_t>(c.channelCount);
        const std::vector<std::int16_t> signal =
            c.runs.empty()
                ? MakeLoopableSignal(c.channelCount, c.totalSamples, c.endSample - c.startSample)
                : MakeRunSignal(c.runs);
        ASSERT_EQ(signal.size(), static_cast<std::size_t>(c.totalSamples) * channels);
        AdxEncoderOptions options;
        options.channelCount = c.channelCount;
        options.sampleRate = kRate;
        options.version = c.version;
        options.chooseInitialHistory = true;
        options.sampleLoop = AdxSampleLoop{c.startSample, c.endSample};
        options.threadCount = 2;
        AdxEncodedStream stream;
        ASSERT_EQ(AdxEncoder(options).Encode(signal, stream), AdxEncodeStatus::kOk);

        // Without looping the stream plays once, to its end.
        const PlayedPasses once = LoopPlayer::Play(stream.bytes, -1, 1);
        ASSERT_TRUE(once.ok);
        EXPECT_EQ(FirstPcmMismatch(once.passes[0], stream.decoded), -1)
            << DescribePcmMismatch(once.passes[0], stream.decoded);

        const PlayedPasses played = LoopPlayer::Play(stream.bytes, 0, kPasses);
        ASSERT_TRUE(played.ok);
        ASSERT_EQ(played.passes.size(), static_cast<std::size_t>(kPasses));
        const std::size_t bodySamples = static_cast<std::size_t>(c.endSample) * channels;
        const std::size_t loopSamples =
            static_cast<std::size_t>(c.endSample - c.startSample) * channels;
        ASSERT_EQ(played.passes[0].size(), bodySamples);
        for (std::int32_t pass = 1; pass < kPasses; ++pass) {
            ASSERT_EQ(played.passes[pass].size(), loopSamples) << "pass " << pass;
        }
        const double bodyError = PcmRmsError(played.passes[0], signal, 0, bodySamples);
        const double signalLevel =
            PcmRmsError(std::vector<std::int16_t>(bodySamples), signal, 0, bodySamples);
        EXPECT_GE(20 * std::log10(signalLevel / std::max(bodyError, 1.0)), c.minBodySnr);
        // The first pass strays from the input no further than the input's
        // swing: the loop passes are never bought with a click in it.
        std::int32_t swing = 0;
        for (std::int16_t sample : signal) {
            swing = std::max(swing, 2 * std::abs(std::int32_t{sample}));
        }
        std::size_t stray = 0;
        while (stray < bodySamples && std::abs(played.passes[0][stray] - signal[stray]) <= swing) {
            ++stray;
        }
        EXPECT_EQ(stray, bodySamples)
            << "the first pass strays beyond " << swing << " at sample index " << stray;
        const std::size_t seamSamples =
            std::min<std::size_t>(loopSamples, static_cast<std::size_t>(kSeamSamples) * channels);
        for (std::int32_t pass = 1; pass < kPasses; ++pass) {
            const double seamError =
                PcmRmsError(played.passes[pass], signal,
                            static_cast<std::size_t>(c.startSample) * channels, seamSamples);
            EXPECT_LE(seamError, c.seamFactor * bodyError + 1.0)
                << "pass " << pass << ": seam " << seamError << ", body " << bodyError;
        }
    }
}

struct ThreadCase {
    const char* name;
    std::int32_t channelCount;
    std::int32_t threadCount;
    bool looped;
};

// Stretches encoded side by side hand their decoded history over exactly:
// the stream is the same byte for byte whatever the thread count.
TEST(AdxEncoder, ThreadsChangeNoByte) {
    const ThreadCase cases[] = {
        {"mono, two stretches", 1, 2, false},
        {"stereo, two stretches a channel", 2, 4, false},
        {"stereo, a loop, every core", 2, 0, true},
    };
    constexpr std::int64_t kSamples = 70000; // enough frames to split
    for (const ThreadCase& c : cases) {
        SCOPED_TRACE(c.name);
        AdxEncoderOptions options;
        options.channelCount = c.channelCount;
        if (c.looped) {
            options.sampleLoop = AdxSampleLoop{5000, 66000};
        }
        const std::vector<std::int16_t> signal =
            MakeLoopableSignal(c.channelCount, kSamples, 61000);
        AdxEncodedStream alone;
        ASSERT_EQ(AdxEncoder(options).Encode(signal, alone), AdxEncodeStatus::kOk);
        options.threadCount = c.threadCount;
        AdxEncodedStream together;
        ASSERT_EQ(AdxEncoder(options).Encode(signal, together), AdxEncodeStatus::kOk);
        EXPECT_TRUE(alone.bytes == together.bytes);
        EXPECT_EQ(FirstPcmMismatch(together.decoded, alone.decoded), -1);
    }
}

// A player that seeks decodes from the stream's initial history a little
// before the new position; the stream must let that decode meet the straight
// one soon, or the output stays off by a few steps for long.
TEST(AdxEncoder, ADecodeRestartedAnywhereMeetsTheStraightDecodeSoon) {
    constexpr std::int64_t kMeetWithin = 2048; // samples per channel
    AdxEncoderOptions options;
    options.channelCount = 2;
    options.sampleRate = 48000;
    options.version = 4;
    options.initialHistory = {1200, -800, -3000, 2500};
    AdxEncodedStream stream;
    ASSERT_EQ(AdxEncoder(options).Encode(MakeToneSignal(2, 48000, 48000, 440.0, 12000), stream),
              AdxEncodeStatus::kOk);
    const std::uint8_t* frames = stream.bytes.data() + stream.headerLength;
    std::vector<std::int16_t> restarted(static_cast<std::size_t>(stream.frameCount) * 64);
    for (std::int32_t start = 1; start + 64 < stream.frameCount; start += 11) {
        AdxChannelHistory history0{1200, -800};
        AdxChannelHistory history1{-3000, 2500};
        std::int32_t produced = 0;
        ASSERT_EQ(DecodeFramesStereo(restarted.data(), frames + start * 36,
                                     stream.frameCount - start, history0, history1,
                                     static_cast<std::int16_t>(stream.coef1),
                                     static_cast<std::int16_t>(stream.coef2), produced),
                  kAdxDecodeOk);
        const std::size_t first = static_cast<std::size_t>(start) * 64;
        std::size_t met = static_cast<std::size_t>(stream.totalSamples) * 2 - first;
        while (met > 0 && restarted[met - 1] == stream.decoded[first + met - 1]) {
            --met;
        }
        EXPECT_LE(static_cast<std::int64_t>(met / 2), kMeetWithin) << "restart at frame " << start;
    }
}

struct RefusalCase {
    const char* name;
    std::int64_t startSample;
    std::int64_t endSample;
    AdxEncodeStatus status;
};

TEST(AdxEncoderLoop, LoopsOutsideTheStreamOrEmptyAreRefused) {
    const RefusalCase cases[] = {
        {"start before the stream", -1, 100, AdxEncodeStatus::kLoopOutsideStream},
        {"end past the stream", 0, 1001, AdxEncodeStatus::kLoopOutsideStream},
        {"empty", 500, 500, AdxEncodeStatus::kLoopEndNotAfterStart},
        {"reversed", 600, 500, AdxEncodeStatus::kLoopEndNotAfterStart},
    };
    for (const RefusalCase& c : cases) {
        AdxEncoderOptions options;
        options.sampleLoop = AdxSampleLoop{c.startSample, c.endSample};
        AdxEncodedStream stream;
        EXPECT_EQ(AdxEncoder(options).Encode(std::vector<std::int16_t>(1000), stream), c.status)
            << c.name;
        EXPECT_TRUE(stream.bytes.empty()) << c.name;
    }
    EXPECT_STREQ(AdxEncoder::StatusText(AdxEncodeStatus::kLoopEndNotAfterStart),
                 "loop end not after its start");
}

} // namespace
