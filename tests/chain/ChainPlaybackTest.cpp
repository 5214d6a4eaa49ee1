// Real playback: the runtime's file source -> ParserFilter -> DecoderFilter
// -> the runtime's DirectSound renderer on the null audio device, with the
// graph's clock. The stream plays in real time and completes; the graph's
// own IMediaSeeking reaches the parser through the renderer's and the
// decoder's pass-throughs; state changes in any order never hang.
#include "ChainFixtures.h"

#include "tests/support/BoundedWait.h"

#include <evcode.h>

#include <chrono>
#include <memory>
#include <string>

namespace chaintest {
namespace {

constexpr std::int32_t kRate = 44100;
constexpr std::int32_t kSeconds = 3;
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr REFERENCE_TIME kDuration = kSeconds * kUnitsPerSecond;

class ChainPlaybackTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        StreamParams params;
        params.channelCount = 2;
        params.sampleRate = kRate;
        params.totalSamples = kRate * kSeconds;
        params.signal = Signal::kTone;
        fixture_.reset(new TempFile(EncodeStream(params).bytes));
        ASSERT_TRUE(fixture_->Written());
        PlaybackOptions options;
        options.decoder = true;
        options.renderer = CLSID_DSoundRender;
        options.clock = true;
        ASSERT_NO_FATAL_FAILURE(graph_.Build(fixture_->Path(), options));
        ASSERT_NO_FATAL_FAILURE(graph_.ConnectAll());
    }

    // Plays from the current position: true when EC_COMPLETE arrives in time.
    bool RunToCompletion(DWORD timeoutMs) {
        testgraph::DrainEvents(graph_.events.get());
        return SUCCEEDED(graph_.control->Run()) &&
               testgraph::WaitForEvent(graph_.events.get(), EC_COMPLETE, timeoutMs);
    }

    HRESULT SeekTo(REFERENCE_TIME position) {
        return graph_.graphSeeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                 AM_SEEKING_NoPositioning);
    }

    static double SecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    std::unique_ptr<TempFile> fixture_;
    GraphFixture graph_;
};

TEST_F(ChainPlaybackTest, PlaysInRealTimeAndCompletes) {
    bounded::Watchdog watchdog("playback", 30000);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(RunToCompletion(15000));
    const double seconds = SecondsSince(started);
    EXPECT_GT(seconds, kSeconds * 0.8);
    EXPECT_LT(seconds, kSeconds * 2.5);
    RecordProperty("playSeconds", std::to_string(seconds));
    watchdog.Step("stop");
    graph_.StopBounded();
}

TEST_F(ChainPlaybackTest, TheGraphsSeekingReachesTheParser) {
    bounded::Watchdog watchdog("seeking", 40000);
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, graph_.graphSeeking->GetDuration(&duration));
    EXPECT_EQ(kDuration, duration);
    DWORD capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration;
    EXPECT_EQ(S_OK, graph_.graphSeeking->CheckCapabilities(&capabilities));

    // Before playback: only the last half second plays.
    watchdog.Step("seek before playback");
    ASSERT_EQ(S_OK, SeekTo(kDuration - kUnitsPerSecond / 2));
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(RunToCompletion(15000));
    const double tail = SecondsSince(started);
    EXPECT_LT(tail, 1.5);

    // While playing: one second in, on to half a second before the end, so
    // that the rest takes far less than the two seconds that were left.
    watchdog.Step("seek while running");
    ASSERT_HRESULT_SUCCEEDED(graph_.control->Stop());
    ASSERT_EQ(S_OK, SeekTo(0));
    testgraph::DrainEvents(graph_.events.get());
    ASSERT_HRESULT_SUCCEEDED(graph_.control->Run());
    Sleep(1000);
    started = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, SeekTo(kDuration - kUnitsPerSecond / 2));
    EXPECT_TRUE(testgraph::WaitForEvent(graph_.events.get(), EC_COMPLETE, 15000));
    const double rest = SecondsSince(started);
    EXPECT_LT(rest, 1.5);
    RecordProperty("tailSeconds", std::to_string(tail));
    RecordProperty("restSeconds", std::to_string(rest));
    watchdog.Step("stop");
    graph_.StopBounded();
}

TEST_F(ChainPlaybackTest, StateChangesInAnyOrderNeverHang) {
    bounded::Watchdog watchdog("state changes", 90000);
    IMediaControl* control = graph_.control.get();
    const struct {
        const char* name;
        HRESULT (*change)(IMediaControl*);
    } kChanges[] = {
        {"Run", [](IMediaControl* c) { return c->Run(); }},
        {"Pause", [](IMediaControl* c) { return c->Pause(); }},
        {"Stop", [](IMediaControl* c) { return c->Stop(); }},
    };
    // Every ordered triple of changes, twice, with short pauses between and
    // a seek now and then.
    int step = 0;
    for (int round = 0; round < 2; ++round) {
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) {
                for (int c = 0; c < 3; ++c) {
                    for (const int change : {a, b, c}) {
                        watchdog.Step(kChanges[change].name);
                        EXPECT_HRESULT_SUCCEEDED(kChanges[change].change(control))
                            << kChanges[change].name << " at step " << step;
                        Sleep(static_cast<DWORD>(step % 4) * 7);
                        if (++step % 5 == 0) {
                            watchdog.Step("seek");
                            EXPECT_EQ(S_OK, SeekTo((step % 29) * kUnitsPerSecond / 10));
                        }
                    }
                }
            }
        }
    }
    // The graph still plays to the end afterwards.
    watchdog.Step("final playback");
    ASSERT_HRESULT_SUCCEEDED(control->Stop());
    ASSERT_EQ(S_OK, SeekTo(kDuration - kUnitsPerSecond / 4));
    EXPECT_TRUE(RunToCompletion(15000));
    watchdog.Step("stop");
    graph_.StopBounded();
}

} // namespace
} // namespace chaintest
