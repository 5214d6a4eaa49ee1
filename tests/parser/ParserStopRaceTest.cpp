// Stop racing the streaming thread: while it jumps to the loop start again
// and again, and while the repacker waits for an output buffer; and Stop on
// the parser alone while downstream runs on holding every buffer.
// Every Stop must return in bounded time, and nothing may be left alive.
#include "ParserFixtures.h"

#include "framework/com/CountedObject.h"
#include "tests/support/BoundedWait.h"

#include <chrono>
#include <iostream>

namespace parsertest {
namespace {

constexpr int kIterations = 200;

struct RaceCase {
    const char* name;
    bool loopJumps;   // a loop of three frames, played over and over
    bool holdBuffers; // the sink keeps both of its buffers until Stop
};

// Test names and failure messages show the case by its name.
void PrintTo(const RaceCase& c, std::ostream* os) {
    *os << c.name;
}

class StopRaceTest : public ComTest, public ::testing::WithParamInterface<RaceCase> {};

TEST_P(StopRaceTest, StopNeverHangsAndLeavesNothingAlive) {
    const LONG baseline = LiveObjectCount;
    const RaceCase& param = GetParam();
    StreamParams params;
    params.totalSamples = 20011;
    params.loops = {AdxLoopPoint{}};
    AdxEncoderOptions options;
    options.channelCount = params.channelCount;
    options.loops = params.loops;
    const std::int32_t headerLength = AdxEncoder(options).HeaderLength();
    params.loops = {AdxEncoder::MakeLoopPoint(64, 128, headerLength, params.channelCount)};
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);

    const auto began = std::chrono::steady_clock::now();
    {
        const CaptureOptions capture = param.holdBuffers ? HoldingBothBuffers() : CaptureOptions{};
        GraphFixture graph;
        ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), WithCapture(capture)));
        ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
        ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, param.loopJumps ? 1 : 0));
        for (int i = 0; i < kIterations; ++i) {
            const size_t before = graph.sink->Pin()->Samples().size();
            ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
            // Enough to be mid-stream: a few passes, or both buffers held.
            const size_t wanted = param.holdBuffers ? 2 : 2 + i % 3;
            ASSERT_TRUE(graph.sink->Pin()->WaitForSamples(before + wanted, 10000))
                << i << " calls " << graph.sink->Pin()->ReceiveCalls() << " ends "
                << graph.sink->Pin()->EndOfStreamCount() << " before " << before;
            graph.StopBounded();
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::cout << param.name << ": " << kIterations << " Run/Stop cycles in " << seconds << " s\n";
    RecordProperty("iterations", kIterations);
    RecordProperty("milliseconds", static_cast<int>(seconds * 1000));
    EXPECT_EQ(baseline, LiveObjectCount);
}

INSTANTIATE_TEST_SUITE_P(Races, StopRaceTest,
                         ::testing::Values(RaceCase{"DuringLoopJumps", true, false},
                                           RaceCase{"WhileWaitingForABuffer", false, true},
                                           RaceCase{"Both", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class ParserStopTest : public ComTest {};

TEST_F(ParserStopTest, StopAloneReturnsWhileDownstreamHoldsEveryBuffer) {
    TempFile fixture(EncodeStream({}).bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), WithCapture(HoldingBothBuffers())));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForSamples(2, 10000));
    Sleep(20); // the pull thread is waiting for a third buffer by now
    IBaseFilter* parser = graph.parser.get();
    bounded::Within("the parser's own Stop while downstream holds every buffer",
                    [parser] { EXPECT_EQ(S_OK, parser->Stop()); });
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, parser->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    graph.StopBounded();
}

} // namespace
} // namespace parsertest
