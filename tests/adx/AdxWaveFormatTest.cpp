#include "adx/AdxWaveFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

namespace {

struct WaveFormatCase {
    const char* name;
    AdxHeader header;
    // The block as a player would read it, little-endian, written out by hand.
    std::vector<std::uint8_t> bytes;
};

// Test names show the case name, not the bytes.
void PrintTo(const WaveFormatCase& c, std::ostream* os) {
    *os << c.name;
}

AdxHeader Header(std::int32_t version, std::int32_t blockSize, std::int32_t channelCount,
                 std::int32_t sampleRate, std::int32_t samplesPerBlock, std::int32_t coef1,
                 std::int32_t coef2, std::array<std::uint16_t, 4> extraWords) {
    AdxHeader header;
    header.version = version;
    header.blockSize = blockSize;
    header.bitsPerSample = 4;
    header.samplesPerBlock = samplesPerBlock;
    header.channelCount = channelCount;
    header.sampleRate = sampleRate;
    header.coef1 = coef1;
    header.coef2 = coef2;
    header.extraWords = extraWords;
    return header;
}

const WaveFormatCase kCases[] = {
    // 36 × 44100 / 32 = 49612 (0xC1CC) bytes per second.
    {"StereoVersion3",
     Header(3, 18, 2, 44100, 32, 7334, -3283, {}),
     {0x03, 0x80, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0xCC, 0xC1, 0x00, 0x00,
      0x24, 0x00, 0x04, 0x00, 0x10, 0x00, 0x03, 0x00, 0x20, 0x00, 0xA6, 0x1C,
      0x2D, 0xF3, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    // The history words travel as stored, the coefficients as their low 16 bits.
    {"MonoVersion4WithHistory",
     Header(4, 18, 1, 22050, 32, 0x12345, -1, {0x8000, 0x7FFF, 0xFFFF, 0x0001}),
     {0x03, 0x80, 0x01, 0x00, 0x22, 0x56, 0x00, 0x00, 0x73, 0x30, 0x00, 0x00,
      0x12, 0x00, 0x04, 0x00, 0x10, 0x00, 0x04, 0x00, 0x20, 0x00, 0x45, 0x23,
      0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x01, 0x00}},
    // A frame of 255 × 257 = 65535 bytes: 65535 × 96000 wraps in 32 bits to
    // 1996392704, and / 32 gives 62387272 (0x03B7F448).
    {"WidestFrame",
     Header(3, 255, 257, 96000, 32, 0, 0, {}),
     {0x03, 0x80, 0x01, 0x01, 0x00, 0x77, 0x01, 0x00, 0x48, 0xF4, 0xB7, 0x03,
      0xFF, 0xFF, 0x04, 0x00, 0x10, 0x00, 0x03, 0x00, 0x20, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    // No samples per block (no stream): no byte rate rather than a division by 0.
    {"NoStream",
     Header(0, 0, 0, 0, 0, 0, 0, {}),
     {0x03, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x04, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
};

class AdxWaveFormatTest : public ::testing::TestWithParam<WaveFormatCase> {};

TEST_P(AdxWaveFormatTest, WritesTheBlockAndReadsItBack) {
    const WaveFormatCase& c = GetParam();
    const AdxWaveFormat written = AdxWaveFormat::FromHeader(c.header);
    // Exactly the block's size, so that a write or read past it trips
    // AddressSanitizer.
    std::vector<std::uint8_t> block(AdxWaveFormat::kSizeBytes, 0xEE);
    ASSERT_TRUE(written.Write(block.data(), block.size()));
    EXPECT_EQ(c.bytes, block);

    const std::optional<AdxWaveFormat> read = AdxWaveFormat::Read(block.data(), block.size());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(AdxWaveFormat::kFormatTag, read->formatTag);
    EXPECT_EQ(written.channelCount, read->channelCount);
    EXPECT_EQ(static_cast<std::uint32_t>(c.header.sampleRate), read->sampleRate);
    EXPECT_EQ(written.averageBytesPerSecond, read->averageBytesPerSecond);
    EXPECT_EQ(written.frameBytes, read->frameBytes);
    EXPECT_EQ(4, read->bitsPerSample);
    EXPECT_EQ(AdxWaveFormat::kExtraBytes, read->extraBytes);
    EXPECT_EQ(c.header.version, read->version);
    EXPECT_EQ(c.header.samplesPerBlock, read->samplesPerBlock);
    EXPECT_EQ(written.coef1, read->coef1);
    EXPECT_EQ(written.coef2, read->coef2);
    EXPECT_EQ(written.history, read->history);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(c.header.extraWords[i], static_cast<std::uint16_t>(read->history[i])) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, AdxWaveFormatTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AdxWaveFormatShortTest, NothingIsReadOrWrittenOutsideTheSpace) {
    const AdxWaveFormat format = AdxWaveFormat::FromHeader(kCases[0].header);
    std::vector<std::uint8_t> tooShort(AdxWaveFormat::kSizeBytes - 1, 0xEE);
    EXPECT_FALSE(format.Write(tooShort.data(), tooShort.size()));
    EXPECT_EQ(std::vector<std::uint8_t>(AdxWaveFormat::kSizeBytes - 1, 0xEE), tooShort);
    EXPECT_FALSE(AdxWaveFormat::Read(tooShort.data(), tooShort.size()).has_value());
    EXPECT_FALSE(AdxWaveFormat::Read(nullptr, AdxWaveFormat::kSizeBytes).has_value());
    // A longer block is read from its first 34 bytes.
    std::vector<std::uint8_t> longer(kCases[0].bytes);
    longer.resize(40, 0xEE);
    const std::optional<AdxWaveFormat> read = AdxWaveFormat::Read(longer.data(), longer.size());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(2, read->channelCount);
    EXPECT_EQ(-3283, read->coef2);
}

} // namespace
