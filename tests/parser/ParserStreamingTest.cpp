// Playback through real graphs: the runtime's file source -> ParserFilter ->
// CaptureSink, no clock. What arrives is checked against the fixture's bytes.
#include "ParserFixtures.h"

#include "tests/support/BoundedWait.h"

#include <vfwmsgs.h>

namespace parsertest {
namespace {

constexpr DWORD kWaitMs = 10000;
constexpr int kSamplesPerFrame = 32;

struct PlaybackCase {
    const char* name;
    StreamParams params;
    std::int32_t fileOffset;
};

// Test names and failure messages show the case by its name.
void PrintTo(const PlaybackCase& c, std::ostream* os) {
    *os << c.name;
}

class PlaybackTest : public ComTest, public ::testing::WithParamInterface<PlaybackCase> {};

// Checks the shape every playback from the start has: whole frames, media
// times from 0 to the total, presentation times from 0 without a gap, the
// first sample (only) discontinuous, nothing preroll.
void ExpectContinuousFromStart(const std::vector<CapturedSample>& samples, LONGLONG frameBytes,
                               LONGLONG totalSamples) {
    ASSERT_FALSE(samples.empty());
    REFERENCE_TIME expectedStart = 0;
    LONGLONG expectedMediaStart = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const CapturedSample& sample = samples[i];
        SCOPED_TRACE(testing::Message() << "sample " << i);
        EXPECT_EQ(0u, sample.bytes.size() % frameBytes);
        EXPECT_FALSE(sample.bytes.empty());
        ASSERT_TRUE(sample.hasTime && sample.hasMediaTime);
        EXPECT_EQ(expectedStart, sample.start);
        EXPECT_GT(sample.stop, sample.start);
        EXPECT_EQ(expectedMediaStart, sample.mediaStart);
        EXPECT_EQ(i == 0, sample.discontinuity);
        EXPECT_FALSE(sample.preroll);
        EXPECT_TRUE(sample.syncPoint);
        expectedStart = sample.stop;
        expectedMediaStart = sample.mediaEnd;
    }
    EXPECT_EQ(totalSamples, samples.back().mediaEnd);
}

TEST_P(PlaybackTest, DeliversEveryWholeFrameUpToTheTotalAndEnds) {
    const PlaybackCase& param = GetParam();
    const AdxEncodedStream stream = EncodeStream(param.params);
    std::vector<std::uint8_t> file(static_cast<size_t>(param.fileOffset), 0x5A);
    file.insert(file.end(), stream.bytes.begin(), stream.bytes.end());
    TempFile fixture(file);

    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_EQ(S_OK, graph.parserControl->SetFileOffset(param.fileOffset));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    graph.StopBounded();

    const LONGLONG frameBytes = 18 * param.params.channelCount;
    const LONGLONG frames = (param.params.totalSamples + kSamplesPerFrame - 1) / kSamplesPerFrame;
    const std::vector<std::uint8_t> expected(stream.bytes.begin() + stream.headerLength,
                                             stream.bytes.begin() + stream.headerLength +
                                                 static_cast<std::ptrdiff_t>(frames * frameBytes));
    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    EXPECT_EQ(-1, FirstMismatch(Concatenate(samples), expected));
    ExpectContinuousFromStart(samples, frameBytes, param.params.totalSamples);
    EXPECT_EQ(1, graph.sink->Pin()->EndOfStreamCount());
    EXPECT_EQ(0, graph.sink->Pin()->BeginFlushCount());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PlaybackTest,
    ::testing::Values(PlaybackCase{"StereoV3", {2, 44100, 3, 20011, {}}, 0},
                      PlaybackCase{"MonoV4", {1, 22050, 4, 9000, {}}, 0},
                      PlaybackCase{"StereoV4AtOffset", {2, 44100, 4, 30000, {}}, 0x1000},
                      PlaybackCase{"MonoV3AtOddOffset", {1, 32000, 3, 70000, {}}, 1237},
                      // Three 64 KiB chunks: frames straddle the chunk ends.
                      PlaybackCase{"LongStereo", {2, 48000, 3, 400000, {}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace parsertest

namespace parsertest {
namespace {

class RefusedSendTest : public ComTest {};

TEST_F(RefusedSendTest, LaterChunksStayOnTheFrameGrid) {
    StreamParams params;
    params.totalSamples = 200000; // several chunks
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    CaptureOptions options;
    options.refuseSample = 1; // the rest of that chunk is dropped
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), WithCapture(options)));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, 10000));
    graph.StopBounded();

    // Every sample after the refused one is a run of whole frames of the
    // stream, found where its media times say.
    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    ASSERT_GT(samples.size(), 3u);
    for (size_t i = 0; i < samples.size(); ++i) {
        const long long offset = stream.headerLength + samples[i].mediaStart / 32 * 36;
        const auto first = stream.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
        const std::vector<std::uint8_t> expected(
            first, first + static_cast<std::ptrdiff_t>(samples[i].bytes.size()));
        EXPECT_EQ(-1, FirstMismatch(samples[i].bytes, expected)) << "sample " << i;
        EXPECT_EQ(0, samples[i].mediaStart % 32) << "sample " << i;
    }
    EXPECT_EQ(params.totalSamples, samples.back().mediaEnd);
}

class InvertedLoopTest : public ComTest {};

// A record that cannot be looped is ignored: the stream plays once, whole.
TEST_F(InvertedLoopTest, AJumpThatCannotPlayEndsTheStream) {
    StreamParams params;
    params.loops = {AdxLoopPoint{}};
    AdxEncoderOptions options;
    options.channelCount = params.channelCount;
    options.loops = params.loops;
    const std::int32_t headerLength = AdxEncoder(options).HeaderLength();
    // Its end (frame 2) lies before its start (frame 100).
    params.loops = {AdxLoopPoint{3200, headerLength + 100 * 36, 0, 64, headerLength + 2 * 36, 0}};
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 1));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, 10000));
    graph.StopBounded();
    const auto bytes = Concatenate(graph.sink->Pin()->Samples());
    const long frames = (params.totalSamples + 31) / 32;
    const std::vector<std::uint8_t> expected(stream.bytes.begin() + headerLength,
                                             stream.bytes.begin() + headerLength + frames * 36);
    EXPECT_EQ(-1, FirstMismatch(bytes, expected));
    EXPECT_EQ(expected.size(), bytes.size());
}

} // namespace
} // namespace parsertest
