// Loop playback through the whole chain, without a clock: the PCM is the
// first pass from the start to the loop's end, then the loop body again and
// again, with the trims applied and nothing missing or repeated at a join.
// The decoder carries its prediction history across each jump (a jump is
// seamless, not a preroll), so the reference decodes the same sample ranges
// in the same order with the ADX core, keeping its history too.
#include "ChainFixtures.h"

#include <ostream>
#include <string>

namespace chaintest {
namespace {

constexpr int kPasses = 4; // the first pass and three of the loop body

struct LoopCase {
    const char* name;
    std::int32_t channelCount;
    std::int32_t startSample;
    std::int32_t endSample;
    std::int32_t endTrim;
};

// Test names and failure messages show the case by its name.
void PrintTo(const LoopCase& c, std::ostream* os) {
    *os << c.name;
}

class ChainLoopTest : public ComTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(ChainLoopTest, PassesFollowEachOtherWithoutGapOrRepeat) {
    const LoopCase& param = GetParam();
    StreamParams params;
    params.channelCount = param.channelCount;
    params.totalSamples = 20011;
    params.signal = Signal::kSweep;
    // The header length depends on the loop table's size, not its contents.
    params.loops = {AdxLoopPoint{}};
    AdxEncoderOptions layout;
    layout.channelCount = params.channelCount;
    layout.loops = params.loops;
    const std::int32_t headerLength = AdxEncoder(layout).HeaderLength();
    AdxLoopPoint loop = AdxEncoder::MakeLoopPoint(param.startSample, param.endSample, headerLength,
                                                  param.channelCount);
    loop.endTrim = param.endTrim;
    // A pass is cut once the media end reaches endSample + 32, so the range
    // read must hold that sample's frame: the loop's end byte names it.
    loop.endByte = headerLength + (param.endSample + 31) / 32 * 18 * param.channelCount;
    params.loops = {loop};
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    ASSERT_TRUE(fixture.Written());

    // The reference: samples [0, passEnd), then [startSample, passEnd) over
    // and over, each range decoded on from the history the last one left.
    const std::int64_t passEnd = std::int64_t{param.endSample} + 32 - param.endTrim;
    CoreDecoder core;
    ASSERT_TRUE(core.Load(stream.bytes));
    std::vector<std::int16_t> expected;
    std::vector<size_t> joins; // where each pass starts in the PCM
    for (int pass = 0; pass < kPasses; ++pass) {
        joins.push_back(expected.size());
        ASSERT_TRUE(core.Decode(pass == 0 ? 0 : param.startSample, passEnd, expected));
    }

    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), ChainToSink()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 1));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    CapturePin* pin = graph.sink->Pin();
    ASSERT_TRUE(pin->WaitForBytes(expected.size() * 2, kWaitMs));
    const int endsWhileLooping = pin->EndOfStreamCount();
    graph.StopBounded();

    const std::vector<CapturedSample> samples = pin->Samples();
    std::vector<std::int16_t> pcm = CapturedPcm(samples);
    ASSERT_GE(pcm.size(), expected.size());
    pcm.resize(expected.size()); // Stop cut the last pass anywhere
    const long long mismatch = FirstMismatch(pcm, expected);
    EXPECT_EQ(-1, mismatch) << "first mismatching PCM sample; passes start at " << joins[1] << ", "
                            << joins[2] << ", " << joins[3];
    // Seamless downstream: no end of stream, flush, discontinuity or gap.
    EXPECT_EQ(0, endsWhileLooping);
    EXPECT_EQ(0, pin->BeginFlushCount());
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i - 1].stop, samples[i].start) << "sample " << i;
        EXPECT_FALSE(samples[i].discontinuity) << "sample " << i;
    }
    // The stamps are those of the PCM carried: each sample ends where all
    // the PCM delivered up to it ends, across every jump and trim.
    std::int64_t delivered = 0;
    long long firstWrongStamp = -1;
    for (size_t i = 0; i < samples.size() && firstWrongStamp < 0; ++i) {
        delivered += static_cast<std::int64_t>(samples[i].bytes.size()) / (2 * param.channelCount);
        if (samples[i].stop != delivered * 10000000 / params.sampleRate) {
            firstWrongStamp = static_cast<long long>(i);
        }
    }
    EXPECT_EQ(-1, firstWrongStamp) << "first sample whose stamp is not its PCM's";
}

INSTANTIATE_TEST_SUITE_P(Loops, ChainLoopTest,
                         ::testing::Values(
                             // The pass ends with a whole frame (media end on a frame boundary).
                             LoopCase{"StereoEndOnAFrameBoundary", 2, 3000, 12000, 0},
                             // The last sample played lies inside the frame after endSample's.
                             LoopCase{"StereoEndInsideAFrame", 2, 3000, 12010, 0},
                             // A trim that reaches back into endSample's frame: the frame read
                             // after it is dropped.
                             LoopCase{"StereoTrimWithinAFrame", 2, 3000, 12010, 30},
                             // A trim of more than a frame, from a loop start on a frame boundary.
                             LoopCase{"StereoTrimOfMoreThanAFrame", 2, 4096, 12016, 40},
                             // A trim that ends the pass exactly on a frame boundary; the loop
                             // starts at the last sample of a frame.
                             LoopCase{"StereoTrimToAFrameBoundary", 2, 32 * 93 + 31, 9000, 8},
                             // A body of a few frames, many passes per pulled chunk range.
                             LoopCase{"MonoShortBody", 1, 5001, 5100, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace chaintest
