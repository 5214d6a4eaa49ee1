// Random control of the whole chain: the runtime's file source -> parser ->
// decoder -> the DirectSound renderer with the graph's clock, and -> the
// runtime's null renderer without a clock. Sequences of Run, Pause, Stop,
// seeks through the graph's IMediaSeeking, loop changes through
// IAdxParserControl, and the patterns players use on looped files (pause
// just before the loop end, seek, run; seek while a loop jump is pending;
// seeks racing the end of the stream). No call may hang: a step that does
// not return in time ends the program with its description. Afterwards no
// object of the module may be left alive.
//
// The seed and the duration come from the environment:
//   CORVINA_STRESS_SEED     the random sequence (default: a fixed one)
//   CORVINA_STRESS_SECONDS  how long each of the two graphs is driven (30)
#include "ChainFixtures.h"

#include "framework/com/CountedObject.h"
#include "tests/support/BoundedWait.h"

#include <evcode.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace chaintest {
namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr std::uint32_t kDefaultSeed = 20261208;
constexpr double kDefaultSeconds = 30.0;
// No control call of the graph takes this long unless it is stuck.
constexpr DWORD kStepTimeoutMs = 10000;
// The last 100 ms of a stream play well within this, clock or not.
constexpr DWORD kCompletionWaitMs = 8000;

// The runtime's null renderer, which the toolchain's headers do not declare.
constexpr CLSID kNullRendererClassId = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

std::uint32_t SeedFromEnvironment() {
    const char* text = std::getenv("CORVINA_STRESS_SEED");
    return text != nullptr && *text != '\0'
               ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 0))
               : kDefaultSeed;
}

double SecondsFromEnvironment() {
    const char* text = std::getenv("CORVINA_STRESS_SECONDS");
    const double seconds = text != nullptr ? std::strtod(text, nullptr) : 0.0;
    return seconds > 0.0 ? seconds : kDefaultSeconds;
}

// A looped stream on disk and where its loops lie in time.
struct LoopedFile {
    std::string name;
    std::unique_ptr<TempFile> file;
    REFERENCE_TIME duration = 0;
    std::vector<REFERENCE_TIME> loopStarts;
    std::vector<REFERENCE_TIME> loopEnds;
};

REFERENCE_TIME ToTime(std::int64_t sample, std::int32_t sampleRate) {
    return sample * kUnitsPerSecond / sampleRate;
}

// `loops` as (first, last) samples per channel.
LoopedFile MakeLoopedFile(const std::string& name, std::int32_t channelCount,
                          std::int32_t sampleRate, std::int32_t totalSamples,
                          const std::vector<std::pair<std::int32_t, std::int32_t>>& loops) {
    StreamParams params;
    params.channelCount = channelCount;
    params.sampleRate = sampleRate;
    params.totalSamples = totalSamples;
    params.signal = Signal::kTone;
    // The header length depends on the loop table's size, not its contents.
    params.loops.assign(loops.size(), AdxLoopPoint{});
    AdxEncoderOptions layout;
    layout.channelCount = channelCount;
    layout.loops = params.loops;
    const std::int32_t headerLength = AdxEncoder(layout).HeaderLength();
    LoopedFile looped;
    looped.name = name;
    for (size_t i = 0; i < loops.size(); ++i) {
        params.loops[i] =
            AdxEncoder::MakeLoopPoint(loops[i].first, loops[i].second, headerLength, channelCount);
        looped.loopStarts.push_back(ToTime(loops[i].first, sampleRate));
        looped.loopEnds.push_back(ToTime(loops[i].second, sampleRate));
    }
    looped.file = std::make_unique<TempFile>(EncodeStream(params).bytes);
    EXPECT_TRUE(looped.file->Written());
    looped.duration = ToTime(totalSamples, sampleRate);
    return looped;
}

std::vector<LoopedFile> MakeLoopedFiles() {
    std::vector<LoopedFile> files;
    // The stream of the reported hangs: 2 s, looping 0.5-1.0 s; a second
    // loop runs to the last sample.
    files.push_back(
        MakeLoopedFile("2 s stereo 44100 Hz", 2, 44100, 88200, {{22050, 44100}, {66150, 88199}}));
    // Short loops, many jumps per second.
    files.push_back(
        MakeLoopedFile("1 s mono 22050 Hz", 1, 22050, 22050, {{64, 1000}, {4410, 19845}}));
    // Ends almost at once.
    files.push_back(MakeLoopedFile("0.05 s stereo 48000 Hz", 2, 48000, 2400, {{32, 2000}}));
    return files;
}

struct Variant {
    const char* name;
    CLSID renderer;
    bool clock;
};

// Test names show the variant's name.
void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

// One graph driven by one random sequence of steps.
class StressRun {
public:
    StressRun(const Variant& variant, const LoopedFile& file, std::mt19937& random,
              bounded::Watchdog& watchdog, int sequence)
        : variant_(variant), file_(file), random_(random), watchdog_(watchdog),
          sequence_(sequence) {}

    void Build() {
        Step("build the graph");
        PlaybackOptions options;
        options.decoder = true;
        options.renderer = variant_.renderer;
        options.clock = variant_.clock;
        ASSERT_NO_FATAL_FAILURE(graph_.Build(file_.file->Path(), options));
        ASSERT_NO_FATAL_FAILURE(graph_.ConnectAll());
    }

    void RandomStep() {
        switch (Pick(0, 12)) {
        case 0:
        case 1:
            Call("Run", graph_.control->Run());
            break;
        case 2:
            Call("Pause", graph_.control->Pause());
            break;
        case 3:
            Call("Stop", graph_.control->Stop());
            break;
        case 4:
        case 5:
            SeekTo(AnyTime());
            break;
        case 6:
            SeekWithStop(AnyTime(), AnyTime());
            break;
        case 7:
            SetLoop(Pick(-1, static_cast<int>(file_.loopEnds.size())), Pick(0, 2) != 0);
            break;
        case 8:
            Sleep(Pick(0, 150));
            break;
        case 9:
            PauseSeekRunAtTheLoopEnd();
            break;
        case 10:
            SeekWhileAJumpIsPending();
            break;
        case 11:
        case 12:
            SeeksRacingTheEnd();
            break;
        }
        DrainEvents();
    }

    // Whatever came before, the graph still plays to its end: looping off,
    // the last 100 ms, and end of stream must arrive.
    void Finish() {
        SetLoop(loop_, false);
        Call("Pause before the last run", graph_.control->Pause());
        SeekWithStop(std::max<REFERENCE_TIME>(0, file_.duration - kUnitsPerSecond / 10),
                     file_.duration);
        DrainEvents();
        Step("Run to the end");
        const HRESULT ran = graph_.control->Run();
        EXPECT_TRUE(SUCCEEDED(ran)) << Describe("Run") << ": 0x" << std::hex << ran;
        EXPECT_TRUE(testgraph::WaitForEvent(graph_.events.get(), EC_COMPLETE, kCompletionWaitMs))
            << Describe("no EC_COMPLETE") << " after:\n"
            << watchdog_.Recent();
        Call("Stop at the end", graph_.control->Stop());
        DrainEvents();
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    REFERENCE_TIME AnyTime() {
        switch (Pick(0, 3)) {
        case 0:
            return 0;
        case 1:
            return file_.duration - Pick(0, 20) * 10000; // the last 20 ms
        default:
            return std::uniform_int_distribution<REFERENCE_TIME>(0, file_.duration)(random_);
        }
    }

    std::string Describe(const std::string& what) const {
        std::ostringstream text;
        text << variant_.name << ", " << file_.name << ", sequence " << sequence_ << ", step "
             << steps_ << ": " << what;
        return text.str();
    }

    void Step(const std::string& what) {
        ++steps_;
        watchdog_.Step(Describe(what));
    }

    // Checks the result of a call made under the current step.
    void Call(const std::string& what, HRESULT result) {
        Step(what);
        EXPECT_TRUE(SUCCEEDED(result)) << Describe(what) << ": 0x" << std::hex << result;
    }

    void Sleep(int milliseconds) {
        Step("sleep " + std::to_string(milliseconds) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    static std::string Seconds(REFERENCE_TIME time) {
        std::ostringstream text;
        text << static_cast<double>(time) / kUnitsPerSecond << " s";
        return text.str();
    }

    void SeekTo(REFERENCE_TIME position) {
        Step("seek to " + Seconds(position));
        const HRESULT result = graph_.graphSeeking->SetPositions(
            &position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        EXPECT_TRUE(SUCCEEDED(result)) << Describe("seek") << ": 0x" << std::hex << result;
    }

    void SeekWithStop(REFERENCE_TIME start, REFERENCE_TIME stop) {
        if (stop < start) {
            std::swap(start, stop);
        }
        Step("seek to " + Seconds(start) + ", stop at " + Seconds(stop));
        const HRESULT result = graph_.graphSeeking->SetPositions(
            &start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
        EXPECT_TRUE(SUCCEEDED(result)) << Describe("seek") << ": 0x" << std::hex << result;
    }

    void SetLoop(int index, bool enable) {
        Step("SetLoop(" + std::to_string(index) + ", " + (enable ? "on" : "off") + ")");
        const HRESULT result = graph_.parserControl->SetLoop(index, enable ? 1 : 0);
        const bool inTable = index >= 0 && index < static_cast<int>(file_.loopEnds.size());
        EXPECT_EQ(inTable ? S_OK : S_FALSE, result) << Describe("SetLoop");
        if (result == S_OK) {
            loop_ = index;
        }
    }

    // What players do: run towards the loop end, pause just before it,
    // seek, run again.
    void PauseSeekRunAtTheLoopEnd() {
        SetLoop(loop_, true);
        const REFERENCE_TIME loopEnd = file_.loopEnds[static_cast<size_t>(loop_)];
        const int leadMs = Pick(20, 200);
        Call("Pause before the approach", graph_.control->Pause());
        SeekTo(std::max<REFERENCE_TIME>(0, loopEnd - leadMs * 10000LL));
        Call("Run towards the loop end", graph_.control->Run());
        Sleep(std::max(0, leadMs - Pick(0, 40)));
        Call("Pause just before the loop end", graph_.control->Pause());
        SeekTo(AnyTime());
        Call("Run after the seek", graph_.control->Run());
    }

    // Paused on the loop end, so that the jump is pending while the next
    // seek comes.
    void SeekWhileAJumpIsPending() {
        SetLoop(loop_, true);
        const REFERENCE_TIME loopStart = file_.loopStarts[static_cast<size_t>(loop_)];
        const REFERENCE_TIME loopEnd = file_.loopEnds[static_cast<size_t>(loop_)];
        Call("Pause", graph_.control->Pause());
        SeekTo(std::max<REFERENCE_TIME>(0, loopEnd - Pick(0, 10) * 10000LL));
        Sleep(Pick(50, 250));
        SeekTo(std::min(loopEnd, loopStart / 2 + Pick(0, 100) * 10000LL));
    }

    // Looping off: seeks to the end and just before it while running, so
    // that end of stream and the seeks cross.
    void SeeksRacingTheEnd() {
        SetLoop(loop_, false);
        Call("Run", graph_.control->Run());
        const int seeks = Pick(2, 6);
        for (int i = 0; i < seeks; ++i) {
            SeekTo(Pick(0, 2) == 0 ? file_.duration : file_.duration - Pick(0, 30) * 10000LL);
            if (Pick(0, 1) == 0) {
                Sleep(Pick(0, 20));
            }
        }
    }

    // Errors the graph reports; completions are expected and dropped.
    void DrainEvents() {
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        while (graph_.events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            if (code == EC_ERRORABORT || code == EC_ERROR_STILLPLAYING ||
                code == EC_STREAM_ERROR_STOPPED) {
                ADD_FAILURE() << Describe("the graph reported error event ") << code << " (0x"
                              << std::hex << static_cast<unsigned long>(param1) << std::dec
                              << ") after:\n"
                              << watchdog_.Recent();
            }
            graph_.events->FreeEventParams(code, param1, param2);
        }
    }

    const Variant& variant_;
    const LoopedFile& file_;
    std::mt19937& random_;
    bounded::Watchdog& watchdog_;
    const int sequence_;
    int steps_ = 0;
    int loop_ = 0; // the last loop chosen
    GraphFixture graph_;
};

class ChainStressTest : public ComTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(ChainStressTest, RandomControlNeverHangsAndLeavesNothingAlive) {
    const Variant& variant = GetParam();
    const std::uint32_t seed = SeedFromEnvironment();
    const double seconds = SecondsFromEnvironment();
    std::cout << variant.name << ": seed " << seed << " (CORVINA_STRESS_SEED), " << seconds
              << " s (CORVINA_STRESS_SECONDS)\n";
    const LONG baseline = LiveObjectCount;
    std::mt19937 random(seed);
    int sequences = 0;
    const auto began = std::chrono::steady_clock::now();
    const auto elapsed = [&began] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    };
    {
        const std::vector<LoopedFile> files = MakeLoopedFiles();
        bounded::Watchdog watchdog(std::string(variant.name) + ", seed " + std::to_string(seed),
                                   kStepTimeoutMs, bounded::Watchdog::Clock::kEachStep);
        while (elapsed() < seconds && !HasFailure()) {
            const LoopedFile& file =
                files[std::uniform_int_distribution<size_t>(0, files.size() - 1)(random)];
            {
                StressRun run(variant, file, random, watchdog, sequences);
                ASSERT_NO_FATAL_FAILURE(run.Build());
                const int steps = std::uniform_int_distribution<int>(5, 25)(random);
                for (int i = 0; i < steps && !HasFailure(); ++i) {
                    run.RandomStep();
                }
                run.Finish();
                watchdog.Step(std::string(variant.name) + ", sequence " +
                              std::to_string(sequences) + ": release the graph");
            }
            ++sequences;
        }
        watchdog.Step("release the fixtures");
    }
    const double took = elapsed();
    const double perMinute = sequences * 60.0 / took;
    std::cout << variant.name << ": " << sequences << " sequences in " << took << " s, "
              << perMinute << " per minute\n";
    RecordProperty("seed", std::to_string(seed));
    RecordProperty("sequences", sequences);
    RecordProperty("sequencesPerMinute", static_cast<int>(perMinute));
    EXPECT_EQ(baseline, LiveObjectCount) << "module objects left alive";
}

INSTANTIATE_TEST_SUITE_P(
    Graphs, ChainStressTest,
    ::testing::Values(Variant{"DirectSoundWithClock", CLSID_DSoundRender, true},
                      Variant{"NullRendererWithoutClock", kNullRendererClassId, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace chaintest
