// Seeks that used to hang the graph: a seek while a loop jump is pending, the
// pause-seek-run pattern of players near a loop end, and seeks racing the end
// of the stream. Each step must return in bounded time (a stuck step names
// itself and ends the program), and nothing may be left alive.
#include "ChainFixtures.h"

#include "tests/support/BoundedWait.h"
#include "framework/com/CountedObject.h"

#include <ostream>
#include <string>
#include <vector>

namespace chaintest {
namespace {

constexpr REFERENCE_TIME kUnitsPerMs = 10000;

struct Step {
    enum Kind { kRun, kPause, kSeek, kWait } kind;
    int ms; // the seek position, or how long to wait
};

struct RaceCase {
    const char* name;
    bool renderer; // the DirectSound renderer with the graph's clock; else the sink
    std::int32_t totalSamples;
    bool loop; // loop 0.5 s - 1.0 s
    std::vector<Step> steps;
    int repeats;
    int askStopAtEndMs = -1; // the sink asks for the stop position at end of stream
};

void PrintTo(const RaceCase& c, std::ostream* os) {
    *os << c.name;
}

class SeekRaceTest : public ComTest, public ::testing::WithParamInterface<RaceCase> {};

TEST_P(SeekRaceTest, EveryStepReturnsAndNothingIsLeftAlive) {
    const LONG baseline = LiveObjectCount;
    const RaceCase& param = GetParam();
    StreamParams params;
    params.totalSamples = param.totalSamples;
    params.signal = Signal::kTone;
    if (param.loop) {
        params.loops = {AdxLoopPoint{}};
        AdxEncoderOptions options;
        options.channelCount = params.channelCount;
        options.loops = params.loops;
        const std::int32_t headerLength = AdxEncoder(options).HeaderLength();
        params.loops = {AdxEncoder::MakeLoopPoint(22050, 44100, headerLength, 2)};
    }
    TempFile fixture(EncodeStream(params).bytes);
    {
        PlaybackOptions options = ChainToSink();
        options.capture.askStopPositionAtEndMs = param.askStopAtEndMs;
        if (param.renderer) {
            options.renderer = CLSID_DSoundRender;
            options.clock = true;
        }
        GraphFixture graph;
        ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), options));
        ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
        if (param.loop) {
            ASSERT_EQ(S_OK, graph.parserControl->SetLoop(0, 1));
        }
        IMediaControl* control = graph.control.get();
        // The graph's seeking reaches the parser through a renderer; with the
        // sink, the seek comes as a renderer passes it on: to the decoder.
        IMediaSeeking* seeking =
            param.renderer ? graph.graphSeeking.get() : graph.decoderSeeking.get();
        for (int repeat = 0; repeat < param.repeats; ++repeat) {
            for (const Step& step : param.steps) {
                switch (step.kind) {
                case Step::kRun:
                    bounded::Within("Run", [control] { control->Run(); });
                    break;
                case Step::kPause:
                    bounded::Within("Pause", [control] { control->Pause(); });
                    break;
                case Step::kSeek: {
                    REFERENCE_TIME position = step.ms * kUnitsPerMs;
                    bounded::Within("SetPositions", [seeking, &position] {
                        seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                              AM_SEEKING_NoPositioning);
                    });
                    break;
                }
                case Step::kWait:
                    Sleep(static_cast<DWORD>(step.ms));
                    break;
                }
            }
        }
        graph.StopBounded();
    }
    EXPECT_EQ(baseline, LiveObjectCount);
}

using S = Step;
INSTANTIATE_TEST_SUITE_P(
    Sequences, SeekRaceTest,
    ::testing::Values(
        // The pull thread waits in the paused renderer with a jump pending.
        RaceCase{"SeekWhileJumpPending",
                 true,
                 88200,
                 true,
                 {{S::kPause, 0}, {S::kSeek, 990}, {S::kWait, 200}, {S::kSeek, 300}},
                 3},
        RaceCase{"SeekWhileJumpPendingNoClock",
                 false,
                 88200,
                 true,
                 {{S::kPause, 0}, {S::kSeek, 990}, {S::kWait, 200}, {S::kSeek, 300}},
                 3},
        RaceCase{"PauseSeekRunNearTheLoopEnd",
                 true,
                 88200,
                 true,
                 {{S::kRun, 0},
                  {S::kWait, 150},
                  {S::kPause, 0},
                  {S::kSeek, 960},
                  {S::kRun, 0},
                  {S::kWait, 60},
                  {S::kPause, 0},
                  {S::kSeek, 990},
                  {S::kRun, 0}},
                 4},
        // A renderer asks for the stop position at end of stream while the
        // seek waits for the pull thread.
        RaceCase{"SeeksRacingAnImmediateEnd",
                 true,
                 32,
                 false,
                 {{S::kRun, 0}, {S::kSeek, 0}, {S::kSeek, 0}, {S::kWait, 1}, {S::kSeek, 0}},
                 60},
        RaceCase{"SinkAsksTheStopWhileSeeksWait",
                 false,
                 32,
                 false,
                 {{S::kRun, 0}, {S::kSeek, 0}, {S::kWait, 1}, {S::kSeek, 0}},
                 20,
                 20},
        RaceCase{
            "SeeksRacingTheEnd",
            true,
            88200,
            false,
            {{S::kRun, 0}, {S::kSeek, 1990}, {S::kWait, 8}, {S::kSeek, 1995}, {S::kSeek, 2000}},
            40}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace chaintest
