// Seeking through the parser's output pin while the graph runs: the reader
// restarts a little before the requested frame, the data before it goes out
// as preroll, and the new segment is announced.
#include "ParserFixtures.h"

#include "tests/support/BoundedWait.h"

#include <vfwmsgs.h>

#include <atomic>

namespace parsertest {
namespace {

constexpr DWORD kWaitMs = 10000;
constexpr LONGLONG kFrameBytes = 36; // stereo, 18-byte blocks
constexpr LONGLONG kSamplesPerFrame = 32;

struct SeekCase {
    const char* name;
    LONGLONG bufferBytes; // what the sink asks for; 0: the parser's default
};

// Test names and failure messages show the case by its name.
void PrintTo(const SeekCase& c, std::ostream* os) {
    *os << c.name;
}

class SeekTest : public ComTest, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(SeekTest, RestartsWithPrerollEndingAtTheRequestedFrame) {
    StreamParams params;
    params.totalSamples = 88200; // 2 s
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    CaptureOptions options;
    options.bufferBytes = static_cast<long>(GetParam().bufferBytes);
    options.bufferCount = GetParam().bufferBytes != 0 ? 4 : 0;
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), WithCapture(options)));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));

    LONGLONG start = 10000000; // 1 s: frame 1378
    ASSERT_EQ(S_OK, graph.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                AM_SEEKING_NoPositioning));
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(2, kWaitMs));
    graph.StopBounded();

    const LONGLONG requestedByte = stream.headerLength + 1378 * kFrameBytes;
    const LONGLONG prerollBytes = (44100 / 32 >> 5) * kFrameBytes; // 43 frames
    const std::vector<CapturedSample> all = graph.sink->Pin()->Samples();
    const std::vector<CapturedSample> samples(
        all.begin() + static_cast<long>(graph.sink->Pin()->SamplesAtLastEndFlush()), all.end());
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(1, graph.sink->Pin()->BeginFlushCount());

    // Preroll samples: none empty, all ending at or before the position.
    size_t firstPlayed = 0;
    LONGLONG prerollDelivered = 0;
    while (firstPlayed < samples.size() && samples[firstPlayed].preroll) {
        EXPECT_FALSE(samples[firstPlayed].bytes.empty()) << firstPlayed;
        EXPECT_EQ(firstPlayed == 0, samples[firstPlayed].discontinuity) << firstPlayed;
        EXPECT_LE(samples[firstPlayed].mediaEnd, 1378 * kSamplesPerFrame) << firstPlayed;
        prerollDelivered += static_cast<LONGLONG>(samples[firstPlayed].bytes.size());
        ++firstPlayed;
    }
    EXPECT_EQ(prerollBytes, prerollDelivered);
    ASSERT_LT(firstPlayed, samples.size());
    EXPECT_TRUE(samples[firstPlayed].discontinuity);
    EXPECT_EQ(1378 * kSamplesPerFrame, samples[firstPlayed].mediaStart);
    for (size_t i = firstPlayed + 1; i < samples.size(); ++i) {
        EXPECT_FALSE(samples[i].preroll || samples[i].discontinuity) << i;
    }
    // Bytes from the preroll start to the last frame; times from 0.
    const LONGLONG lastByte = stream.headerLength + (88200 + 31) / 32 * kFrameBytes;
    const std::vector<std::uint8_t> expected(
        stream.bytes.begin() + static_cast<std::ptrdiff_t>(requestedByte - prerollBytes),
        stream.bytes.begin() + static_cast<std::ptrdiff_t>(lastByte));
    EXPECT_EQ(-1, FirstMismatch(Concatenate(samples), expected));
    EXPECT_EQ(0, samples.front().start);
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i - 1].stop, samples[i].start) << i;
    }
    const std::vector<CapturePin::Segment> segments = graph.sink->Pin()->Segments();
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(start, segments.back().start);
    EXPECT_EQ(1.0, segments.back().rate);
}

INSTANTIATE_TEST_SUITE_P(Buffers, SeekTest,
                         ::testing::Values(SeekCase{"DefaultBuffers", 0},
                                           // 10 frames: the preroll takes five samples.
                                           SeekCase{"SmallBuffers", 360},
                                           // Smaller than a frame: still whole frames.
                                           SeekCase{"TinyBuffers", 20}),
                         [](const auto& info) { return std::string(info.param.name); });

class SeekStoppedTest : public ComTest {};

TEST_F(SeekStoppedTest, StartAtTheFirstFrameSendsOneEmptyPrerollSample) {
    const AdxEncodedStream stream = EncodeStream({});
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    LONGLONG start = 0;
    ASSERT_EQ(S_OK, graph.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                AM_SEEKING_NoPositioning));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    graph.StopBounded();

    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    ASSERT_GE(samples.size(), 2u);
    EXPECT_TRUE(samples[0].bytes.empty());
    EXPECT_TRUE(samples[0].preroll && samples[0].discontinuity);
    EXPECT_FALSE(samples[1].preroll);
    EXPECT_TRUE(samples[1].discontinuity);
    EXPECT_EQ(0, samples[1].mediaStart);
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_FALSE(samples[i].bytes.empty()) << i;
    }
}

TEST_F(SeekStoppedTest, RateTwoHalvesDurationsAndStopPositionEndsEarly) {
    StreamParams params;
    params.totalSamples = 88200;
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_EQ(S_OK, graph.seeking->SetRate(2.0));
    LONGLONG stop = 5000000; // 0.5 s: frame 689
    ASSERT_EQ(S_OK, graph.seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop,
                                                AM_SEEKING_AbsolutePositioning));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    graph.StopBounded();

    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    ASSERT_FALSE(samples.empty());
    LONGLONG bytes = 0;
    for (const CapturedSample& sample : samples) {
        const double expected =
            32.0 * static_cast<double>(sample.bytes.size()) * 1e7 / (44100.0 * 2.0 * 36.0);
        EXPECT_NEAR(expected, static_cast<double>(sample.stop - sample.start), 1.0);
        bytes += static_cast<LONGLONG>(sample.bytes.size());
    }
    // The reader stops one frame after the stop position's frame.
    EXPECT_EQ(690 * kFrameBytes, bytes);
    EXPECT_EQ(2.0, graph.sink->Pin()->Segments().back().rate);
}

class SeekingInterfaceTest : public ComTest {};

TEST_F(SeekingInterfaceTest, AnswersInMediaTimeOnly) {
    StreamParams params;
    params.sampleRate = 44100;
    params.totalSamples = 441000;
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    IMediaSeeking* seeking = graph.seeking.get();

    LONGLONG value = 0;
    EXPECT_EQ(S_OK, seeking->GetDuration(&value));
    EXPECT_EQ(100000000, value);
    DWORD capabilities = 0;
    EXPECT_EQ(S_OK, seeking->GetCapabilities(&capabilities));
    EXPECT_EQ(0x37u, capabilities);
    capabilities = 0x8;
    EXPECT_EQ(S_FALSE, seeking->CheckCapabilities(&capabilities));
    EXPECT_EQ(0x8u, capabilities);
    EXPECT_EQ(E_NOTIMPL, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(S_OK, seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, seeking->IsFormatSupported(&TIME_FORMAT_SAMPLE));
    EXPECT_EQ(E_INVALIDARG, seeking->SetTimeFormat(&TIME_FORMAT_BYTE));
    EXPECT_EQ(E_INVALIDARG,
              seeking->ConvertTimeFormat(&value, &TIME_FORMAT_FRAME, 5, &TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(E_POINTER, seeking->GetDuration(nullptr));

    LONGLONG current = 20000000;
    LONGLONG stop = 5000000;
    EXPECT_EQ(E_INVALIDARG, seeking->SetPositions(&current, AM_SEEKING_IncrementalPositioning,
                                                  nullptr, AM_SEEKING_NoPositioning));
    EXPECT_EQ(E_INVALIDARG,
              seeking->SetPositions(nullptr, 0, &stop,
                                    AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame));
    EXPECT_EQ(S_OK, seeking->SetPositions(
                        &current, AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame, &stop,
                        AM_SEEKING_IncrementalPositioning));
    LONGLONG gotCurrent = 0;
    LONGLONG gotStop = 0;
    EXPECT_EQ(S_OK, seeking->GetPositions(&gotCurrent, &gotStop));
    EXPECT_EQ(20000000, gotCurrent);
    EXPECT_EQ(25000000, gotStop);
    EXPECT_EQ(S_OK, seeking->SetRate(0.0)); // not stored, still repositions
    double rate = 0.0;
    EXPECT_EQ(S_OK, seeking->GetRate(&rate));
    EXPECT_EQ(1.0, rate);
    // "No end" as a stop position does not overflow the byte arithmetic.
    LONGLONG noEnd = 0x7FFFFFFFFFFFFFFF;
    EXPECT_EQ(S_OK, seeking->SetPositions(nullptr, 0, &noEnd, AM_SEEKING_AbsolutePositioning));
}

} // namespace
} // namespace parsertest

namespace parsertest {
namespace {

// Positions whose 32-bit halves both change: a read without the lock that
// the writer holds would see a mix of the two on a 32-bit build.
constexpr LONGLONG kPositionA = 0x00000001FFFFFFFFLL;
constexpr LONGLONG kPositionB = 0x0000000200000000LL;

class PositionReadTest : public ComTest {};

TEST_F(PositionReadTest, PositionsAreNeverReadTorn) {
    StreamParams params;
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    IMediaSeeking* seeking = graph.seeking.get();
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    {
        bounded::Call reader([&] {
            while (!done) {
                LONGLONG current = 0;
                LONGLONG stop = 0;
                seeking->GetPositions(&current, &stop);
                if (current != 0 && current != kPositionA && current != kPositionB) {
                    ++torn;
                }
            }
        });
        // Stopped: each seek only moves the reader's range.
        for (int i = 0; i < 20000; ++i) {
            LONGLONG position = i % 2 == 0 ? kPositionA : kPositionB;
            seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                  AM_SEEKING_NoPositioning);
        }
        done = true;
        reader.Join("position reader");
    }
    EXPECT_EQ(0, torn.load());
}

} // namespace
} // namespace parsertest
