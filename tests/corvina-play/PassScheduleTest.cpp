// corvina-play's pass schedule over a few headers and settings. Stereo
// 32,000 Hz with 18-byte blocks: a frame is 36 bytes of 32 samples and lasts
// 10,000 units; 4,000 frames; loop 0 from frame 1,000 (sample 32,000) to
// endSample 96,000, so a pass ends with frame 3,000 at sample 96,032. A start
// reads (32,000 / 32) >> 5 = 31 frames of preroll before it.
#include "tests/support/adx/TestHeader.h"
#include "tools/corvina-play/playback/PassSchedule.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

constexpr std::int64_t kFrameBytes = 36;
constexpr std::int64_t kHeaderBytes = 0x120;
constexpr std::int64_t kFrameUnits = 10000;
constexpr std::int64_t kSecond = 10000000;

constexpr std::int64_t FrameByte(std::int64_t frame) {
    return kHeaderBytes + frame * kFrameBytes;
}

AdxHeader MakeHeader(std::int32_t sampleRate, std::int32_t channels, std::int32_t totalSamples) {
    AdxLoopPoint loop;
    loop.startSample = 32000;
    loop.startByte = static_cast<std::int32_t>(FrameByte(1000));
    loop.endSample = 96000;
    loop.endByte = static_cast<std::int32_t>(FrameByte(3000));
    return MakeTestHeader(channels, sampleRate, static_cast<std::int32_t>(kHeaderBytes),
                          totalSamples, {loop});
}

using Pass = PassSchedule::Pass;

struct ScheduleCase {
    const char* name;
    AdxHeader header;
    PassSchedule::Settings settings;
    std::vector<Pass> passes; // the first passes
    bool ends;                // no pass after them
};
void PrintTo(const ScheduleCase& c, std::ostream* os) {
    *os << c.name;
}

PassSchedule::Settings Loop(PassSchedule::Settings settings) {
    settings.loopIndex = 0;
    return settings;
}

// Pass 1 from frame `firstFrame` after `prerollFrames`, then loop passes of
// frames 1,000 to 3,000, all at rate 1.
std::vector<Pass> LoopPasses(std::int64_t firstFrame, std::int64_t prerollFrames, int count) {
    std::vector<Pass> passes;
    std::int64_t time = prerollFrames * kFrameUnits;
    for (int pass = 0; pass < count; ++pass) {
        const std::int64_t from = pass == 0 ? firstFrame : 1000;
        const std::int64_t frames = 3001 - from;
        passes.push_back({time, time + frames * kFrameUnits, from * 32, 96032});
        time += frames * kFrameUnits;
    }
    return passes;
}

class PassScheduleTest : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(PassScheduleTest, PassesAsThePlannerPlaysThem) {
    const ScheduleCase& param = GetParam();
    const PassSchedule schedule(param.header, param.settings);
    std::int64_t samples = 0;
    for (std::size_t index = 0; index < param.passes.size(); ++index) {
        const Pass& want = param.passes[index];
        Pass pass;
        ASSERT_TRUE(schedule.PassNumber(static_cast<std::int64_t>(index) + 1, pass)) << index;
        EXPECT_EQ(want.startTime, pass.startTime) << "pass " << index + 1;
        EXPECT_EQ(want.endTime, pass.endTime) << "pass " << index + 1;
        EXPECT_EQ(want.startSample, pass.startSample) << "pass " << index + 1;
        EXPECT_EQ(want.endSample, pass.endSample) << "pass " << index + 1;
        // Delivered up to a pass's end, a run has begun it and no more.
        EXPECT_EQ(static_cast<std::int64_t>(index) + 1, schedule.PassesBefore(pass.endTime));
        // A pass played out ends where its samples do.
        std::int64_t at = 0;
        EXPECT_EQ(want.endSample * kSecond / param.header.sampleRate,
                  schedule.PositionAt(pass.endTime, at));
        EXPECT_EQ(static_cast<std::int64_t>(index) + 1, at);
        samples += want.endSample - want.startSample;
        EXPECT_EQ(samples, schedule.SamplesIn(static_cast<std::int64_t>(index) + 1));
    }
    if (param.ends) {
        EXPECT_EQ(samples, schedule.SamplesIn(PassSchedule::kMaxPasses));
    }
    Pass next;
    EXPECT_EQ(!param.ends,
              schedule.PassNumber(static_cast<std::int64_t>(param.passes.size()) + 1, next));
}

const PassSchedule::Settings kPlain;
const AdxHeader kStereo = MakeHeader(32000, 2, 128000);

INSTANTIATE_TEST_SUITE_P(
    Headers, PassScheduleTest,
    ::testing::Values(
        ScheduleCase{"NoLoop", kStereo, kPlain, {{0, 4000 * kFrameUnits, 0, 128000}}, true},
        ScheduleCase{"Loop", kStereo, Loop(kPlain), LoopPasses(0, 0, 5), false},
        // 31 frames of preroll come first and take their time.
        ScheduleCase{"StartInsideTheLoop", kStereo, Loop({25 * kSecond / 10, -1, 1.0, false, 0}),
                     LoopPasses(2500, 31, 3), false},
        // The first pass, its preroll too, lies past the loop end and plays
        // nothing: the loop passes follow from time 0.
        ScheduleCase{"StartAfterTheLoop",
                     kStereo,
                     Loop({35 * kSecond / 10, -1, 1.0, false, 0}),
                     {{0, 2001 * kFrameUnits, 32000, 96032}},
                     false},
        // A stop ends the stream with the frame that holds it, loop or not.
        ScheduleCase{"StopInsideTheLoop",
                     kStereo,
                     Loop({-1, 25 * kSecond / 10, 1.0, false, 0}),
                     {{0, 2501 * kFrameUnits, 0, 80032}},
                     true},
        // The data ends inside the loop: every pass ends there.
        ScheduleCase{"ShortData",
                     kStereo,
                     Loop({-1, -1, 1.0, false, 0, FrameByte(2000) + 20}),
                     {{0, 2000 * kFrameUnits, 0, 64000},
                      {2000 * kFrameUnits, 3000 * kFrameUnits, 32000, 64000},
                      {3000 * kFrameUnits, 4000 * kFrameUnits, 32000, 64000},
                      {4000 * kFrameUnits, 5000 * kFrameUnits, 32000, 64000}},
                     false},
        ScheduleCase{"ShortDataWithoutLoop",
                     kStereo,
                     {-1, -1, 1.0, false, -1, FrameByte(2000) + 20},
                     {{0, 2000 * kFrameUnits, 0, 64000}},
                     true},
        ScheduleCase{"RateTwo",
                     kStereo,
                     Loop({-1, -1, 2.0, true, 0}),
                     {{0, 3001 * kFrameUnits / 2, 0, 96032},
                      {3001 * kFrameUnits / 2, 5002 * kFrameUnits / 2, 32000, 96032}},
                     false},
        // At 22,050 Hz a frame of 32 samples lasts 14,512.47 units: the
        // stream's end lies where its 30,011 samples end, truncated once.
        ScheduleCase{"TimesOfTheSamplesCarried",
                     MakeHeader(22050, 1, 30011),
                     kPlain,
                     {{0, 30011LL * kSecond / 22050, 0, 30011}},
                     true}));

TEST(PassScheduleTest, LoopPassesAreCountedFarAhead) {
    const PassSchedule schedule(kStereo, Loop(kPlain));
    // Pass n of the loop begins after 3,001 + (n - 2) * 2,001 frames.
    const std::int64_t n = 1000000;
    const std::int64_t start = (3001 + (n - 2) * 2001) * kFrameUnits;
    Pass pass;
    ASSERT_TRUE(schedule.PassNumber(n, pass));
    EXPECT_EQ(start, pass.startTime);
    EXPECT_EQ(start + 2001 * kFrameUnits, pass.endTime);
    EXPECT_EQ(n - 1, schedule.PassesBefore(start));
    EXPECT_EQ(n, schedule.PassesBefore(start + 1));
    EXPECT_EQ(96032 + (n - 1) * 64032, schedule.SamplesIn(n));
    // A quarter second into the pass: 8,000 samples past the loop start.
    std::int64_t at = 0;
    EXPECT_EQ(kSecond + kSecond / 4, schedule.PositionAt(start + kSecond / 4, at));
    EXPECT_EQ(n, at);
    EXPECT_FALSE(schedule.PassNumber(PassSchedule::kMaxPasses + 1, pass));
}

} // namespace
