// The parser's streaming planner driven as the pull reader drives it: chunks
// of a stream read in order, loop jumps, seeks and short reads. The
// expectations count samples and frames of a 100-frame stream.
#include "parser/StreamPlanner.h"
#include "parser/PlannedReader.h"
#include "tests/support/adx/TestHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <vector>

namespace {

// 44,100 Hz stereo, 18-byte blocks of 32 samples: F = 36, S = 32, H = 0x120.
constexpr std::int64_t kFrame = 36;
constexpr std::int64_t kData = 0x120;
constexpr std::int64_t kFrames = 100;
constexpr std::int64_t kTotalSamples = kFrames * 32;

constexpr std::int64_t FrameByte(std::int64_t frame) {
    return kData + frame * kFrame;
}

AdxHeader MakeHeader(std::vector<AdxLoopPoint> loops, std::int32_t totalSamples = kTotalSamples) {
    return MakeTestHeader(2, 44100, static_cast<std::int32_t>(kData), totalSamples,
                          std::move(loops));
}

// Loop from frame 10 (sample 320) to sample `loopEnd` (endSample + S - endTrim).
AdxLoopPoint MakeLoop(std::int32_t loopEnd, std::int32_t endTrim = 0, std::int32_t startTrim = 0,
                      std::int32_t startFrame = 10) {
    AdxLoopPoint loop;
    loop.startSample = startFrame * 32 + startTrim;
    loop.startByte = static_cast<std::int32_t>(FrameByte(startFrame));
    loop.startTrim = startTrim;
    loop.endSample = loopEnd - 32 + endTrim;
    loop.endByte = static_cast<std::int32_t>(FrameByte((loopEnd - 1) / 32));
    loop.endTrim = endTrim;
    return loop;
}

// The shared in-memory reader, recording every sample and checking that it
// lies inside the stream's data.
class ReaderSim : public PlannedReader {
public:
    ReaderSim(StreamPlanner& planner, std::int64_t dataEndBytes, std::int64_t chunkBytes,
              std::int64_t bufferBytes)
        : PlannedReader(planner, dataEndBytes, chunkBytes, bufferBytes) {
        const std::int64_t dataOffset = planner.Geometry().DataOffset();
        record_ = [this, dataOffset, dataEndBytes](const StreamPlanner::Sample& sample,
                                                   std::int64_t streamByte) {
            EXPECT_GE(streamByte, dataOffset);
            EXPECT_LE(streamByte + sample.sizeBytes, dataEndBytes);
            EXPECT_EQ(0, sample.sizeBytes % kFrame);
            samples.push_back(sample);
        };
    }
    // Pulls until end of stream or `maxChunks`; `afterChunk` may intervene.
    bool Pull(int maxChunks, const std::function<void(int)>& afterChunk = nullptr) {
        for (int chunk = 0; chunk < maxChunks; ++chunk) {
            if (!Step(record_)) {
                return true;
            }
            if (afterChunk) {
                afterChunk(chunk);
            }
        }
        return false;
    }

    std::vector<StreamPlanner::Sample> samples;

private:
    SampleSink record_;
};

struct Pass {
    std::int64_t mediaStart;
    std::int64_t mediaEnd;
    bool operator==(const Pass& other) const {
        return mediaStart == other.mediaStart && mediaEnd == other.mediaEnd;
    }
};
void PrintTo(const Pass& pass, std::ostream* os) {
    *os << "[" << pass.mediaStart << "," << pass.mediaEnd << ")";
}

// The played (not preroll) media ranges: a new pass wherever media times do
// not continue.
std::vector<Pass> Passes(const std::vector<StreamPlanner::Sample>& samples) {
    std::vector<Pass> passes;
    for (const auto& sample : samples) {
        if (sample.preroll) {
            continue;
        }
        EXPECT_LT(sample.mediaStart, sample.mediaEnd);
        if (passes.empty() ||
            passes.back().mediaEnd != sample.mediaStart - sample.mediaStart % 32) {
            passes.push_back({sample.mediaStart, sample.mediaEnd});
        } else {
            passes.back().mediaEnd = sample.mediaEnd;
        }
    }
    return passes;
}

struct LoopCase {
    const char* name;
    std::vector<AdxLoopPoint> loops;
    bool loopOn;
    std::int64_t dataEndBytes; // where the readable stream ends
    std::int64_t bufferBytes;
    std::vector<Pass> passes; // the first passes played
    bool ends;                // end of stream after them
};
void PrintTo(const LoopCase& c, std::ostream* os) {
    *os << c.name;
}

class PlannerLoopTest : public ::testing::TestWithParam<LoopCase> {};

TEST_P(PlannerLoopTest, PlaysThePassesAndEnds) {
    const LoopCase& param = GetParam();
    StreamPlanner planner;
    planner.SetStream(MakeHeader(param.loops));
    planner.SetLoop(0, param.loopOn);
    ReaderSim reader(planner, param.dataEndBytes, 1000, param.bufferBytes);
    reader.Range(0, StreamGeometry::kMaxStreamBytes);
    const bool ended = reader.Pull(static_cast<int>(param.passes.size()) * 8);
    std::vector<Pass> passes = Passes(reader.samples);
    if (!param.ends && passes.size() > param.passes.size()) {
        passes.resize(param.passes.size());
    }
    EXPECT_EQ(param.passes, passes);
    EXPECT_EQ(param.ends, ended);
    // Presentation times run on without gaps.
    for (std::size_t index = 1; index < reader.samples.size(); ++index) {
        EXPECT_EQ(reader.samples[index - 1].timeStop, reader.samples[index].timeStart);
    }
}

const std::int64_t kEnd = FrameByte(kFrames);
const AdxLoopPoint kHostile{0, 0, 0, -1, 0x7FFFFFFF, 0};

INSTANTIATE_TEST_SUITE_P(
    Loops, PlannerLoopTest,
    ::testing::Values(
        LoopCase{"NoLoop", {}, false, kEnd, 360, {{0, 3200}}, true},
        LoopCase{"LoopOff", {MakeLoop(2000)}, false, kEnd, 360, {{0, 3200}}, true},
        LoopCase{"Loop",
                 {MakeLoop(2000)},
                 true,
                 kEnd,
                 360,
                 {{0, 2000}, {320, 2000}, {320, 2000}},
                 false},
        LoopCase{"Trims",
                 {MakeLoop(1995, 5, 7)},
                 true,
                 kEnd,
                 360,
                 {{0, 1995}, {327, 1995}, {327, 1995}},
                 false},
        // A buffer ending between the loop end and endSample + S is cut too.
        LoopCase{"NoOvershoot",
                 {MakeLoop(2000, 22)},
                 true,
                 kEnd,
                 kFrame,
                 {{0, 2000}, {320, 2000}},
                 false},
        LoopCase{"EndAtLastSample",
                 {MakeLoop(3200)},
                 true,
                 kEnd,
                 360,
                 {{0, 3200}, {320, 3200}, {320, 3200}},
                 false},
        LoopCase{"EndBeyondData",
                 {MakeLoop(5000)},
                 true,
                 kEnd,
                 360,
                 {{0, 3200}, {320, 3200}, {320, 3200}},
                 false},
        // The jump reads up to the end byte's frame: passes end there.
        LoopCase{"EndByteShort",
                 {[] {
                     AdxLoopPoint loop = MakeLoop(2031);
                     loop.endByte = static_cast<std::int32_t>(FrameByte(1999 / 32));
                     return loop;
                 }()},
                 true,
                 kEnd,
                 360,
                 {{0, 2031}, {320, 2016}, {320, 2016}},
                 false},
        LoopCase{"Hostile", {kHostile}, true, kEnd, 360, {{0, 3200}}, true},
        LoopCase{"StartPastData", {MakeLoop(8000, 0, 0, 150)}, true, kEnd, 360, {{0, 3200}}, true},
        LoopCase{"MisalignedStart",
                 {[] {
                     AdxLoopPoint loop = MakeLoop(2000);
                     loop.startByte += 4;
                     return loop;
                 }()},
                 true,
                 kEnd,
                 360,
                 {{0, 3200}},
                 true},
        LoopCase{"OneFrameBody",
                 {MakeLoop(352)},
                 true,
                 kEnd,
                 360,
                 {{0, 352}, {320, 352}, {320, 352}},
                 false},
        // The data ends inside the loop's first frame: the loop pass
        // delivers nothing and the stream ends instead of spinning.
        LoopCase{
            "EmptyLoopPass", {MakeLoop(2000)}, true, FrameByte(10) + 18, 360, {{0, 320}}, true},
        // A short read: the data ends inside frame 50.
        LoopCase{"ShortData", {}, false, FrameByte(50) + 18, 360, {{0, 1600}}, true},
        LoopCase{"ShortDataLooped",
                 {MakeLoop(2000)},
                 true,
                 FrameByte(50) + 18,
                 360,
                 {{0, 1600}, {320, 1600}, {320, 1600}},
                 false}));

// Reads that come back short while the reader's length still counts the
// bytes: the data ends there, looping or not.
struct ShortReadCase {
    const char* name;
    std::int64_t readableEnd;
    bool loopOn;
    std::vector<Pass> passes;
    bool ends;
};
void PrintTo(const ShortReadCase& c, std::ostream* os) {
    *os << c.name;
}

class PlannerShortReadTest : public ::testing::TestWithParam<ShortReadCase> {};

TEST_P(PlannerShortReadTest, TheDataEndsWhereTheReadsDo) {
    const ShortReadCase& param = GetParam();
    StreamPlanner planner;
    planner.SetStream(MakeHeader({MakeLoop(2000)}));
    planner.SetLoop(0, param.loopOn);
    ReaderSim reader(planner, kEnd, 1000, 360);
    reader.SetReadableEnd(param.readableEnd);
    reader.Range(0, StreamGeometry::kMaxStreamBytes);
    const bool ended = reader.Pull(40);
    std::vector<Pass> passes = Passes(reader.samples);
    passes.resize(std::min(passes.size(), param.passes.size()));
    EXPECT_EQ(param.passes, passes);
    EXPECT_EQ(param.ends, ended);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, PlannerShortReadTest,
    ::testing::Values(
        ShortReadCase{"Plain", FrameByte(50) + 18, false, {{0, 1600}}, true},
        ShortReadCase{
            "Looping", FrameByte(50) + 18, true, {{0, 1600}, {320, 1600}, {320, 1600}}, false},
        ShortReadCase{"InsideTheLoopPass", FrameByte(10) + 18, true, {{0, 320}}, true}));

// After a seek, whatever the output buffers: every sample before the start
// is preroll, only the first of them is discontinuous (the decoder resets
// its history there alone), and they cover the same 43 frames.
TEST(StreamPlannerTest, WarmUpIsTheSameForAnyBufferSize) {
    for (const std::int64_t bufferBytes :
         {kFrame, 2 * kFrame, std::int64_t{360}, std::int64_t{8460}}) {
        SCOPED_TRACE(bufferBytes);
        StreamPlanner planner;
        planner.SetStream(MakeHeader({}));
        ReaderSim reader(planner, kEnd, 1000, bufferBytes);
        reader.Seek(FrameByte(50));
        ASSERT_TRUE(reader.Pull(100));
        std::int64_t prerollBytes = 0;
        int discontinuousPreroll = 0;
        std::size_t index = 0;
        for (; index < reader.samples.size() && reader.samples[index].preroll; ++index) {
            prerollBytes += reader.samples[index].sizeBytes;
            discontinuousPreroll += reader.samples[index].discontinuity ? 1 : 0;
        }
        EXPECT_TRUE(reader.samples.front().discontinuity);
        EXPECT_EQ(1, discontinuousPreroll);
        EXPECT_EQ(43 * kFrame, prerollBytes);
        ASSERT_LT(index, reader.samples.size());
        EXPECT_EQ(1600, reader.samples[index].mediaStart);
        for (; index < reader.samples.size(); ++index) {
            EXPECT_FALSE(reader.samples[index].preroll);
        }
    }
}

// Stamps follow the samples carried: with trims at both loop ends, each
// sample ends at (samples so far) x 10,000,000 / 44,100, truncated once, so
// after 1,000 passes the time equals the PCM delivered.
TEST(StreamPlannerTest, StampsMatchThePcmOverAThousandPasses) {
    StreamPlanner planner;
    planner.SetStream(MakeHeader({MakeLoop(1995, 5, 7)}));
    planner.SetLoop(0, true);
    ReaderSim reader(planner, kEnd, 1000, 360);
    reader.Range(0, StreamGeometry::kMaxStreamBytes);
    std::int64_t pcmSamples = 0;
    std::int64_t mismatches = 0;
    while (reader.Jumps() < 1000 &&
           reader.Step([&](const StreamPlanner::Sample& sample, std::int64_t) {
               mismatches += sample.timeStart == pcmSamples * 10000000 / 44100 ? 0 : 1;
               pcmSamples += sample.mediaEnd - sample.mediaStart;
               mismatches += sample.timeStop == pcmSamples * 10000000 / 44100 ? 0 : 1;
           })) {
    }
    EXPECT_EQ(1000, reader.Jumps());
    EXPECT_EQ(0, mismatches);
    // 1,995 samples, then 999 passes of 1,995 - 327.
    EXPECT_EQ(1995 + 999 * (1995 - 327), pcmSamples);
}

TEST(StreamPlannerTest, DataAfterAHeaderOffTheFrameGrid) {
    AdxHeader header = MakeHeader({});
    header.dataOffset = 0x122; // not a multiple of the frame size
    StreamPlanner planner;
    planner.SetStream(header);
    ReaderSim reader(planner, 0x122 + kFrames * kFrame, 1000, 360);
    reader.Range(0, StreamGeometry::kMaxStreamBytes);
    ASSERT_TRUE(reader.Pull(100));
    EXPECT_EQ((std::vector<Pass>{{0, 3200}}), Passes(reader.samples));
}

TEST(StreamPlannerTest, UnusableRecordsStayInTheTable) {
    StreamPlanner planner;
    planner.SetStream(MakeHeader({MakeLoop(2000), kHostile}));
    ASSERT_EQ(2u, planner.Loops().size());
    EXPECT_EQ(-1, planner.Loops()[1].endSample);
    EXPECT_TRUE(planner.IsLoopUsable(0));
    EXPECT_FALSE(planner.IsLoopUsable(1));
    EXPECT_TRUE(planner.SetLoop(1, true));
    EXPECT_FALSE(planner.SetLoop(2, true));
    EXPECT_EQ(1, planner.LoopIndex());
}

TEST(StreamPlannerTest, SeekPlaysPrerollThenFromTheStart) {
    StreamPlanner planner;
    planner.SetStream(MakeHeader({}));
    ReaderSim reader(planner, kEnd, 1000, 360);
    reader.Seek(FrameByte(50));
    ASSERT_TRUE(reader.Pull(100));
    std::int64_t prerollBytes = 0;
    for (const auto& sample : reader.samples) {
        prerollBytes += sample.preroll ? sample.sizeBytes : 0;
    }
    EXPECT_EQ(43 * kFrame, prerollBytes); // 1/32 s of frames before the start
    EXPECT_TRUE(reader.samples.front().discontinuity && reader.samples.front().preroll);
    const auto first = std::find_if(reader.samples.begin(), reader.samples.end(),
                                    [](const auto& sample) { return !sample.preroll; });
    ASSERT_NE(reader.samples.end(), first);
    EXPECT_TRUE(first->discontinuity);
    EXPECT_EQ(1600, first->mediaStart);
    EXPECT_EQ((std::vector<Pass>{{1600, 3200}}), Passes(reader.samples));
}

TEST(StreamPlannerTest, StartAtTheFirstFrameSendsOneEmptyPrerollSample) {
    StreamPlanner planner;
    planner.SetStream(MakeHeader({}));
    ReaderSim reader(planner, kEnd, 1000, 360);
    reader.Seek(kData);
    ASSERT_TRUE(reader.Pull(100));
    ASSERT_GE(reader.samples.size(), 2u);
    EXPECT_EQ(0, reader.samples[0].sizeBytes);
    EXPECT_TRUE(reader.samples[0].preroll && reader.samples[0].discontinuity);
    EXPECT_TRUE(reader.samples[1].discontinuity && !reader.samples[1].preroll);
    EXPECT_EQ((std::vector<Pass>{{0, 3200}}), Passes(reader.samples));
}

// Operations between chunks while a loop plays; the passes that follow.
struct ControlCase {
    const char* name;
    int atChunk; // after this many chunks, or -1: at the first jump
    std::function<void(ReaderSim&, StreamPlanner&)> control;
    std::vector<Pass> passes;
    bool ends;
};
void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.name;
}

class PlannerControlTest : public ::testing::TestWithParam<ControlCase> {};

TEST_P(PlannerControlTest, ChangesTakeEffectOnTheNextChunk) {
    const ControlCase& param = GetParam();
    StreamPlanner planner;
    planner.SetStream(
        MakeHeader({MakeLoop(2000), MakeLoop(1000, 0, 0, 5), MakeLoop(300, 0, 9, 5)}));
    planner.SetLoop(0, true);
    ReaderSim reader(planner, kEnd, 1000, 360);
    reader.Range(0, StreamGeometry::kMaxStreamBytes);
    bool done = false;
    int lastJumps = 0;
    const bool ended = reader.Pull(40, [&](int chunk) {
        const bool jumped = reader.Jumps() != lastJumps;
        lastJumps = reader.Jumps();
        if (!done && (param.atChunk < 0 ? jumped : chunk + 1 == param.atChunk)) {
            done = true;
            param.control(reader, planner);
        }
    });
    std::vector<Pass> passes = Passes(reader.samples);
    if (!param.ends && passes.size() > param.passes.size()) {
        passes.resize(param.passes.size());
    }
    EXPECT_EQ(param.passes, passes);
    EXPECT_EQ(param.ends, ended);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, PlannerControlTest,
    ::testing::Values(
        // 1000-byte chunks: after 2 chunks the first pass is at frame 44.
        ControlCase{"LoopOffMidPass",
                    2,
                    [](ReaderSim&, StreamPlanner& planner) { planner.SetLoop(0, false); },
                    {{0, 3200}},
                    true},
        // Off between the chunk that orders the jump and the jump's data:
        // the jump happens, and its pass plays on to the end.
        ControlCase{"LoopOffInLoopPass",
                    -1,
                    [](ReaderSim&, StreamPlanner& planner) { planner.SetLoop(0, false); },
                    {{0, 2000}, {320, 3200}},
                    true},
        // 1000-byte chunks: the first jump follows chunk 3, chunk 4 is the
        // first of the second pass.
        ControlCase{"LoopOffInSecondPass",
                    4,
                    [](ReaderSim&, StreamPlanner& planner) { planner.SetLoop(0, false); },
                    {{0, 2000}, {320, 3200}},
                    true},
        ControlCase{"LoopOffAndOnInSecondPass",
                    4,
                    [](ReaderSim&, StreamPlanner& planner) {
                        planner.SetLoop(0, false);
                        planner.SetLoop(0, true);
                    },
                    {{0, 2000}, {320, 2000}, {320, 2000}},
                    false},
        // A new loop chosen while a jump is pending: the jump's pass is the
        // old loop's, start trim and cut; the next jump goes to the new one
        // (whose end lies before the old start).
        ControlCase{"OtherLoopWhileJumpPending",
                    -1,
                    [](ReaderSim&, StreamPlanner& planner) { planner.SetLoop(2, true); },
                    {{0, 2000}, {320, 2000}, {169, 300}, {169, 300}},
                    false},
        ControlCase{"OtherLoopInSecondPass",
                    4,
                    [](ReaderSim&, StreamPlanner& planner) { planner.SetLoop(1, true); },
                    {{0, 2000}, {320, 2000}, {160, 1000}, {160, 1000}},
                    false},
        // A stop in the frame that holds the cut point (frame 62 holds
        // sample 1999) ends the stream there; one past it, the loop plays.
        ControlCase{"StopInTheCutFrame",
                    1,
                    [](ReaderSim& reader, StreamPlanner&) {
                        reader.SetStop(FrameByte(62) + kFrame);
                        reader.Seek(kData);
                    },
                    {{0, 608}, {0, 2016}},
                    true},
        ControlCase{"StopBeyondTheLoop",
                    1,
                    [](ReaderSim& reader, StreamPlanner&) {
                        reader.SetStop(FrameByte(63) + kFrame);
                        reader.Seek(kData);
                    },
                    {{0, 608}, {0, 2000}, {320, 2000}},
                    false},
        // A new rate restarts from the last start, also in a loop pass.
        ControlCase{"RateInSecondPass",
                    4,
                    [](ReaderSim& reader, StreamPlanner& planner) {
                        planner.SetRate(2.0);
                        reader.Restart();
                    },
                    {{0, 2000}, {320, 1184}, {0, 2000}, {320, 2000}},
                    false},
        ControlCase{"LoopOffAndOn",
                    1,
                    [](ReaderSim&, StreamPlanner& planner) {
                        planner.SetLoop(0, false);
                        planner.SetLoop(0, true);
                    },
                    {{0, 2000}, {320, 2000}},
                    false},
        ControlCase{"OtherLoopMidPass",
                    2,
                    [](ReaderSim&, StreamPlanner& planner) { planner.SetLoop(1, true); },
                    {{0, 1472}, {160, 1000}, {160, 1000}},
                    false},
        ControlCase{"SeekWhileJumpPending",
                    -1,
                    [](ReaderSim& reader, StreamPlanner&) { reader.Seek(FrameByte(50)); },
                    {{0, 2000}, {1600, 2000}, {320, 2000}},
                    false},
        ControlCase{"SeekInsideLoop",
                    2,
                    [](ReaderSim& reader, StreamPlanner&) { reader.Seek(FrameByte(20)); },
                    {{0, 1472}, {640, 2000}, {320, 2000}},
                    false},
        ControlCase{"SeekPastLoopEnd",
                    1,
                    [](ReaderSim& reader, StreamPlanner&) { reader.Seek(FrameByte(80)); },
                    {{0, 608}, {320, 2000}, {320, 2000}},
                    false},
        // A new stop restarts reading from the last start, and ends there.
        ControlCase{"NewStopInLoopPass",
                    -1,
                    [](ReaderSim& reader, StreamPlanner&) {
                        reader.SetStop(FrameByte(30) + kFrame);
                        reader.Restart();
                    },
                    {{0, 2000}, {0, 992}},
                    true},
        ControlCase{"StopInsideLoop",
                    1,
                    [](ReaderSim& reader, StreamPlanner&) {
                        reader.SetStop(FrameByte(30) + kFrame);
                        reader.Seek(kData);
                    },
                    {{0, 608}, {0, 992}},
                    true}));

TEST(StreamPlannerTest, RateScalesPresentationTimes) {
    const auto endTime = [](double rate) {
        StreamPlanner planner;
        planner.SetStream(MakeHeader({}));
        planner.SetRate(rate);
        ReaderSim reader(planner, kEnd, 1000, 360);
        reader.Range(0, StreamGeometry::kMaxStreamBytes);
        EXPECT_TRUE(reader.Pull(100));
        return reader.samples.back().timeStop;
    };
    // 3,200 samples at 44,100 Hz, truncated per sample.
    EXPECT_NEAR(725623, endTime(1.0), 30);
    EXPECT_NEAR(725623.0 / 2, endTime(2.0), 30);
}

// A sample's times are those of its first and last frame counted from the
// start: k frames of 32 samples at 44,100 Hz take k * 320,000,000 / 44,100
// units, truncated once, however chunks and buffers split the stream.
TEST(StreamPlannerTest, TimesDoNotDependOnChunksOrBuffers) {
    const std::int64_t splits[][2] = {{1000, 360}, {37, 36}, {4096, 1000}, {100000, 3600}};
    for (const auto& split : splits) {
        StreamPlanner planner;
        planner.SetStream(MakeHeader({}));
        ReaderSim reader(planner, kEnd, split[0], split[1]);
        reader.Range(0, StreamGeometry::kMaxStreamBytes);
        EXPECT_TRUE(reader.Pull(10000));
        ASSERT_FALSE(reader.samples.empty());
        for (const auto& sample : reader.samples) {
            const std::int64_t first = sample.mediaStart / 32;
            const std::int64_t end = first + sample.sizeBytes / kFrame;
            EXPECT_EQ(first * 320000000 / 44100, sample.timeStart) << split[0] << "/" << split[1];
            EXPECT_EQ(end * 320000000 / 44100, sample.timeStop) << split[0] << "/" << split[1];
        }
    }
}

TEST(StreamPlannerTest, PassStateTransitions) {
    using S = StreamPlanner::PassState;
    using E = StreamPlanner::PassEvent;
    EXPECT_EQ(S::kPlaying, StreamPlanner::Advance(S::kPreroll, E::kStartReached));
    EXPECT_EQ(S::kLoopPass, StreamPlanner::Advance(S::kLoopPass, E::kStartReached));
    EXPECT_EQ(S::kJumpPending, StreamPlanner::Advance(S::kPlaying, E::kLoopEnd));
    EXPECT_EQ(S::kLoopStart, StreamPlanner::Advance(S::kJumpPending, E::kJumpData));
    EXPECT_EQ(S::kLoopPass, StreamPlanner::Advance(S::kLoopStart, E::kDelivered));
    EXPECT_EQ(S::kPlaying, StreamPlanner::Advance(S::kPlaying, E::kDelivered));
    EXPECT_EQ(S::kEnded, StreamPlanner::Advance(S::kEnded, E::kLoopEnd));
    EXPECT_EQ(S::kPreroll, StreamPlanner::Advance(S::kEnded, E::kNewStart));
}

TEST(StreamPlannerTest, BuffersSmallerThanAFrameAreAnError) {
    StreamPlanner planner;
    planner.SetStream(MakeHeader({}));
    StreamPlanner::Plan plan;
    planner.PlanChunk({0, 1000, true, false}, kFrame - 1, plan);
    EXPECT_EQ(StreamPlanner::Action::kError, plan.outcome.action);
    EXPECT_TRUE(plan.samples.empty());
}

} // namespace
