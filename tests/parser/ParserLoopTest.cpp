// Loop playback through real graphs: passes of exactly the loop's frames,
// with the media-time trims, no end of stream and no flush between passes.
#include "ParserFixtures.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace parsertest {
namespace {

constexpr DWORD kWaitMs = 10000;
constexpr LONGLONG kSamplesPerFrame = 32;

struct Pass {
    size_t firstSample;
    size_t endSample; // one past the last
};

// A new pass starts where the media times go back.
std::vector<Pass> SplitPasses(const std::vector<CapturedSample>& samples) {
    std::vector<Pass> passes;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (i == 0 || samples[i].mediaStart < samples[i - 1].mediaEnd) {
            if (!passes.empty()) {
                passes.back().endSample = i;
            }
            passes.push_back({i, samples.size()});
        }
    }
    return passes;
}

// Waits until at least `count` passes have started and one more sample came.
bool WaitForPasses(CapturePin* pin, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<CapturedSample> samples = pin->Samples();
        const std::vector<Pass> passes = SplitPasses(samples);
        if (passes.size() > count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

struct LoopCase {
    const char* name;
    std::int32_t startSample;
    std::int32_t endSample;
    std::int32_t endTrim;
    // The frame after the last one a pass plays, counted from the first.
    std::int32_t passEndFrame;
    // Where the loop's end byte points: the frame that holds endSample, or
    // (for an end that needs the next frame to be reached) the one after.
    std::int32_t endByteFrame;
};

// Test names and failure messages show the case by its name.
void PrintTo(const LoopCase& c, std::ostream* os) {
    *os << c.name;
}

class LoopTest : public ComTest, public ::testing::WithParamInterface<LoopCase> {
protected:
    // A stereo stream with the case's loop record; H is known only once the
    // table's size is, so the record is made for the encoder's header length.
    AdxEncodedStream MakeStream(AdxLoopPoint& loop) {
        StreamParams params;
        params.totalSamples = 20011;
        const std::int32_t headerLength = OneLoopHeaderLength(params);
        const LoopCase& param = GetParam();
        loop = AdxEncoder::MakeLoopPoint(param.startSample, param.endSample, headerLength, 2);
        loop.endTrim = param.endTrim;
        loop.endByte = headerLength + param.endByteFrame * 36;
        params.loops = {loop};
        return EncodeStream(params);
    }
};

TEST_P(LoopTest, PlaysPassesOfTheLoopSeamlessly) {
    const LoopCase& param = GetParam();
    AdxLoopPoint loop;
    const AdxEncodedStream stream = MakeStream(loop);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 1));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(WaitForPasses(graph.sink->Pin(), 4));
    const int endsWhileRunning = graph.sink->Pin()->EndOfStreamCount();
    graph.StopBounded();

    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    const std::vector<Pass> passes = SplitPasses(samples);
    const auto header = stream.bytes.begin() + stream.headerLength;
    const std::vector<std::uint8_t> firstPass(header, header + param.passEndFrame * 36);
    const std::vector<std::uint8_t> loopPass(stream.bytes.begin() + loop.startByte,
                                             header + param.passEndFrame * 36);
    // A pass ends at the loop end or at the stream's last sample.
    const LONGLONG passMediaEnd =
        std::min<LONGLONG>(LONGLONG{param.endSample} + kSamplesPerFrame - param.endTrim, 20011);
    // Every pass but the last, which Stop may have cut short.
    for (size_t p = 0; p + 1 < passes.size(); ++p) {
        SCOPED_TRACE(testing::Message() << "pass " << p);
        const auto bytes = Concatenate(samples, passes[p].firstSample, passes[p].endSample);
        EXPECT_EQ(-1, FirstMismatch(bytes, p == 0 ? firstPass : loopPass));
        const CapturedSample& first = samples[passes[p].firstSample];
        const CapturedSample& last = samples[passes[p].endSample - 1];
        EXPECT_EQ(p == 0 ? 0 : param.startSample, first.mediaStart);
        EXPECT_EQ(passMediaEnd, last.mediaEnd);
        // The media end lies in the sample's last frame (the decoder reads
        // only its low bits).
        const LONGLONG lastFrameStart =
            first.mediaStart - first.mediaStart % kSamplesPerFrame +
            (static_cast<LONGLONG>(bytes.size()) / 36 - 1) * kSamplesPerFrame;
        EXPECT_GT(last.mediaEnd, lastFrameStart);
        EXPECT_LE(last.mediaEnd, lastFrameStart + kSamplesPerFrame);
    }
    // Seamless: times without a gap, no discontinuity, end or flush.
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i - 1].stop, samples[i].start) << "sample " << i;
        EXPECT_FALSE(samples[i].discontinuity) << "sample " << i;
        EXPECT_FALSE(samples[i].preroll) << "sample " << i;
    }
    EXPECT_EQ(0, endsWhileRunning);
    EXPECT_EQ(0, graph.sink->Pin()->BeginFlushCount());
}

TEST_P(LoopTest, SwitchingLoopPlaybackOffPlaysOnToTheStreamEnd) {
    AdxLoopPoint loop;
    const AdxEncodedStream stream = MakeStream(loop);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 1));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(WaitForPasses(graph.sink->Pin(), 2));
    ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 0));
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    graph.StopBounded();

    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    const std::vector<Pass> passes = SplitPasses(samples);
    ASSERT_GE(passes.size(), 2u);
    // The last pass, in whichever pass looping went off, runs from the
    // loop's start to the stream's last frame (20,011 samples: 626 frames).
    const auto bytes = Concatenate(samples, passes.back().firstSample);
    const auto header = stream.bytes.begin() + stream.headerLength;
    const std::vector<std::uint8_t> expected(stream.bytes.begin() + loop.startByte,
                                             header + 626 * 36);
    EXPECT_EQ(-1, FirstMismatch(bytes, expected));
    EXPECT_EQ(20011, samples.back().mediaEnd);
    EXPECT_EQ(1, graph.sink->Pin()->EndOfStreamCount());
}

// A mono 44,100 Hz stream looping from 22,050 to 44,100 (its cut point,
// endSample + 32, lies in frame 1,379), played from 0 with a stop position.
struct StopCase {
    const char* name;
    LONGLONG stopUnits;
    bool ends;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class LoopStopTest : public ComTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(LoopStopTest, AStopBeforeTheCutPointEndsTheStream) {
    StreamParams params;
    params.channelCount = 1;
    params.totalSamples = 88200;
    params.loops = {AdxEncoder::MakeLoopPoint(22050, 44100, OneLoopHeaderLength(params), 1)};
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 1));
    LONGLONG start = 0;
    LONGLONG stop = GetParam().stopUnits;
    ASSERT_EQ(S_OK, graph.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                                AM_SEEKING_AbsolutePositioning));
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    CapturePin* pin = graph.sink->Pin();
    if (GetParam().ends) {
        ASSERT_TRUE(pin->WaitForEndOfStream(1, kWaitMs));
        graph.StopBounded();
        // The stop's frame, 1,379, is the last: no second pass.
        ASSERT_EQ(1u, SplitPasses(pin->Samples()).size());
        EXPECT_EQ(1380 * kSamplesPerFrame, pin->Samples().back().mediaEnd);
    } else {
        ASSERT_TRUE(WaitForPasses(pin, 2));
        graph.StopBounded();
        EXPECT_EQ(0, pin->EndOfStreamCount());
    }
}

INSTANTIATE_TEST_SUITE_P(Stops, LoopStopTest,
                         ::testing::Values(
                             // 1.00066 s: sample 44,129, before the cut point.
                             StopCase{"InTheCutFrame", 10006600, true},
                             // 1.002 s: frame 1,380, after the cut frame.
                             StopCase{"BeyondTheLoop", 10020000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Loops, LoopTest,
    ::testing::Values(
        // The loop end on a frame boundary: a pass ends with endSample's frame.
        LoopCase{"AlignedEnd", 3000, 12000, 0, 376, 375},
        // The end inside a frame with a trim that reaches back into it: the
        // frame after it is dropped so the media end stays in the last frame.
        LoopCase{"TrimmedEnd", 3000, 12010, 30, 376, 376},
        // The loop runs to the stream's last sample: it still loops.
        LoopCase{"EndAtTheLastSample", 3000, 20010, 0, 626, 625}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace parsertest
