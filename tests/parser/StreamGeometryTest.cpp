// The parser's stream arithmetic: buffer sizes, preroll, time to frame,
// sample indices and the cut at a loop or stream end.
#include "parser/StreamGeometry.h"
#include "tests/support/adx/TestHeader.h"

#include <gtest/gtest.h>

namespace {

AdxHeader MakeHeader(std::int32_t channelCount, std::int32_t sampleRate,
                     std::int32_t dataOffset = 0x120, std::int32_t totalSamples = 441000) {
    return MakeTestHeader(channelCount, sampleRate, dataOffset, totalSamples);
}

struct BufferCase {
    std::int32_t channelCount;
    std::int32_t sampleRate;
    std::int32_t expectedBytes;
};

void PrintTo(const BufferCase& c, std::ostream* os) {
    *os << c.channelCount << "ch" << c.sampleRate << "Hz";
}

class DefaultBufferTest : public ::testing::TestWithParam<BufferCase> {};

TEST_P(DefaultBufferTest, HoldsAbout1Over187SecondOfBlocksAndAtLeastOneFrame) {
    const BufferCase& param = GetParam();
    EXPECT_EQ(
        param.expectedBytes,
        StreamGeometry(MakeHeader(param.channelCount, param.sampleRate)).DefaultBufferBytes());
}

INSTANTIATE_TEST_SUITE_P(Rates, DefaultBufferTest,
                         ::testing::Values(BufferCase{2, 44100, 8460}, // 470 blocks
                                           BufferCase{1, 22050, 2106}, // 117 blocks
                                           BufferCase{2, 96000, 9216}, // capped at 512 blocks
                                           BufferCase{1, 100, 18},     // one frame, not 0 bytes
                                           BufferCase{2, 187, 36}));

TEST(StreamGeometryTest, SeekingArithmetic) {
    const StreamGeometry geometry(MakeHeader(2, 44100));
    EXPECT_EQ(100000000, geometry.Duration());
    EXPECT_EQ(43 * 36, geometry.PrerollBytes());
    EXPECT_EQ(1378 * 36 + 0x120, geometry.StreamByteForTime(10000000));
    EXPECT_EQ(0x120, geometry.StreamByteForTime(0));
    EXPECT_EQ(0x120, geometry.StreamByteForTime(-5000000)); // before the start: the first frame
    // "No end" stays on the frame grid and below the limit, without overflow.
    const std::int64_t noEnd = geometry.StreamByteForTime(0x7FFFFFFFFFFFFFFF);
    EXPECT_LE(noEnd, StreamGeometry::kMaxStreamBytes);
    EXPECT_EQ(0, (noEnd - 0x120) % 36);
    EXPECT_EQ(3200, geometry.SampleIndexAt(0x120 + 3600));
    EXPECT_EQ(725623, geometry.PlayedUnits(3200, 1.0)); // truncated
    EXPECT_EQ(362811, geometry.PlayedUnits(3200, 2.0));
    EXPECT_FALSE(StreamGeometry().IsUsable());
    EXPECT_FALSE(StreamGeometry(MakeHeader(0, 44100)).IsUsable());
    EXPECT_FALSE(StreamGeometry(MakeHeader(2, 0)).IsUsable());
}

struct CutCase {
    std::int64_t firstSample;
    std::int64_t endSample;
    std::int64_t frameCount;
    std::int64_t expectedFrames;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.firstSample << ".." << c.endSample << "/" << c.frameCount;
}

class FramesBeforeTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(FramesBeforeTest, KeepsTheFrameHoldingTheLastSampleAsTheLast) {
    const CutCase& param = GetParam();
    EXPECT_EQ(param.expectedFrames,
              StreamGeometry(MakeHeader(2, 44100))
                  .FramesBefore(param.firstSample, param.endSample, param.frameCount));
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, FramesBeforeTest,
    ::testing::Values(CutCase{0, 1000, 100, 32},   // stream end: 999 lies in frame 31
                      CutCase{0, 1024, 100, 32},   // on a frame boundary
                      CutCase{9984, 10012, 3, 1},  // a trim that reaches into the first frame
                      CutCase{9984, 9984, 3, 0},   // nothing before the end
                      CutCase{9984, 5000, 3, 0},   // end before the sample: no negative size
                      CutCase{0, 1000000, 10, 10}) // all of it
);

} // namespace
