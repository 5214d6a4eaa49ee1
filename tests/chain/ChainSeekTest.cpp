// Seeking through the whole chain (the decoder's output pin passes the
// request to the parser), without a clock. After a seek to t the first PCM
// delivered is the first sample of the block that holds t; the parser sends
// about 1/32 s before it as preroll, which the decoder decodes from the
// stream's initial history without delivering it, so that its history has
// settled by the time delivery starts. How soon the PCM equals the core's
// decode of the whole stream is measured over many seek points.
#include "ChainFixtures.h"

#include <algorithm>
#include <iostream>
#include <random>
#include <string>

namespace chaintest {
namespace {

constexpr int kSeeksPerStream = 50;
// Generous: the preroll alone is 1/32 s of frames.
constexpr std::int64_t kWarmUpBound = 2048;

struct SeekStream {
    const char* name;
    StreamParams params;
};

StreamParams ThreeSeconds(std::int32_t channels, std::int32_t rate, std::int32_t version,
                          std::array<std::int16_t, 4> history, Signal signal) {
    StreamParams params;
    params.channelCount = channels;
    params.sampleRate = rate;
    params.version = version;
    params.history = history;
    params.totalSamples = rate * 3 + 17;
    params.signal = signal;
    return params;
}

const SeekStream kStreams[] = {
    {"StereoV3Sweep44100", ThreeSeconds(2, 44100, 3, {}, Signal::kSweep)},
    {"MonoV4Noise44100", ThreeSeconds(1, 44100, 4, {-9000, 8000, 0, 0}, Signal::kNoise)},
    {"StereoV4Tone48000", ThreeSeconds(2, 48000, 4, {1200, -800, -3000, 2500}, Signal::kTone)},
    {"MonoV3Sweep22050", ThreeSeconds(1, 22050, 3, {}, Signal::kSweep)},
};

// Seek points in 100-ns units: the start, the very end, inside the first
// preroll, then random ones (the same on every run).
std::vector<REFERENCE_TIME> SeekPoints(const StreamParams& params, std::uint32_t seed) {
    const REFERENCE_TIME duration =
        std::int64_t{params.totalSamples} * 10000000 / params.sampleRate;
    std::vector<REFERENCE_TIME> points = {0, duration - 1, 100LL * 10000000 / params.sampleRate};
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<REFERENCE_TIME> anywhere(0, duration - 1);
    while (points.size() < static_cast<size_t>(kSeeksPerStream)) {
        points.push_back(anywhere(random));
    }
    return points;
}

class ChainSeekTest : public ComTest {};

TEST_F(ChainSeekTest, DeliveryStartsAtTheBlockAndSettlesOnTheCoreDecode) {
    std::vector<std::int64_t> warmUps; // per seek: samples until the PCM is exact
    std::uint32_t seed = 1;
    for (const SeekStream& s : kStreams) {
        SCOPED_TRACE(s.name);
        const StreamParams& params = s.params;
        const AdxEncodedStream stream = EncodeStream(params);
        TempFile fixture(stream.bytes);
        ASSERT_TRUE(fixture.Written());
        const std::vector<std::int16_t> direct = DecodeDirect(stream.bytes);
        const size_t channels = static_cast<size_t>(params.channelCount);

        GraphFixture graph;
        ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), ChainToSink()));
        ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
        CapturePin* pin = graph.sink->Pin();
        ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
        ASSERT_TRUE(pin->WaitForEndOfStream(1, kWaitMs));

        for (const REFERENCE_TIME t : SeekPoints(params, seed++)) {
            SCOPED_TRACE(testing::Message() << "seek to " << t);
            pin->ClearSamples();
            const int ends = pin->EndOfStreamCount();
            REFERENCE_TIME start = t;
            ASSERT_EQ(S_OK,
                      graph.decoderSeeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning,
                                                         nullptr, AM_SEEKING_NoPositioning));
            ASSERT_TRUE(pin->WaitForEndOfStream(ends + 1, kWaitMs));

            const std::vector<CapturedSample> all = pin->Samples();
            const size_t first = pin->SamplesAtLastEndFlush();
            ASSERT_LT(first, all.size());
            EXPECT_TRUE(all[first].discontinuity);
            const std::vector<std::int16_t> pcm = CapturedPcm(all, first);
            // The block that holds t, and delivery from its first sample to
            // the end of the stream.
            const std::int64_t block = t * params.sampleRate / (32 * 10000000LL);
            const size_t firstSample = static_cast<size_t>(block) * 32;
            ASSERT_EQ(direct.size() - firstSample * channels, pcm.size());
            // Exact from the last mismatch on.
            const std::vector<std::int16_t> expected(
                direct.begin() + static_cast<std::ptrdiff_t>(firstSample * channels), direct.end());
            size_t exactFrom = pcm.size();
            while (exactFrom > 0 && pcm[exactFrom - 1] == expected[exactFrom - 1]) {
                --exactFrom;
            }
            const auto warmUp = static_cast<std::int64_t>((exactFrom + channels - 1) / channels);
            EXPECT_LE(warmUp, kWarmUpBound)
                << "first mismatching PCM sample " << FirstMismatch(pcm, expected);
            warmUps.push_back(warmUp);
            if (warmUp > 0) {
                std::cout << s.name << ": seek to " << t << " (block " << block << ") exact after "
                          << warmUp << " samples\n";
            }
        }
    }
    ASSERT_FALSE(warmUps.empty());
    std::sort(warmUps.begin(), warmUps.end());
    const auto exactAtOnce = std::count(warmUps.begin(), warmUps.end(), 0);
    std::cout << warmUps.size() << " seeks: exact from the first delivered sample in "
              << exactAtOnce << "; samples per channel until exact: median "
              << warmUps[warmUps.size() / 2] << ", 90th percentile "
              << warmUps[warmUps.size() * 9 / 10] << ", max " << warmUps.back() << "; the others:";
    for (const std::int64_t warmUp : warmUps) {
        if (warmUp > 0) {
            std::cout << " " << warmUp;
        }
    }
    std::cout << "\n";
    RecordProperty("seeks", static_cast<int>(warmUps.size()));
    RecordProperty("exactAtOnce", static_cast<int>(exactAtOnce));
    RecordProperty("warmUpMedian", static_cast<int>(warmUps[warmUps.size() / 2]));
    RecordProperty("warmUpMax", static_cast<int>(warmUps.back()));
}

} // namespace
} // namespace chaintest
