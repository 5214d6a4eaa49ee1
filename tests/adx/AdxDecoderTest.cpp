#include "adx/AdxDecoder.h"

#include "PcmCompare.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Block = std::array<std::uint8_t, kAdxBlockBytes>;

// A block with a scale word and code bytes; missing code bytes repeat the
// last one given (or are 0).
Block MakeBlock(std::uint16_t scaleWord, std::vector<std::uint8_t> codeBytes) {
    Block block{};
    block[0] = static_cast<std::uint8_t>(scaleWord >> 8);
    block[1] = static_cast<std::uint8_t>(scaleWord);
    std::uint8_t last = 0;
    for (std::size_t i = 0; i < 16; ++i) {
        last = i < codeBytes.size() ? codeBytes[i] : last;
        block[2 + i] = last;
    }
    return block;
}

// Blocks with varied scales and codes, as an encoder would make them.
std::vector<std::uint8_t> MakeFrames(std::int32_t frameCount, std::int32_t channelCount,
                                     std::uint32_t seed) {
    std::vector<std::uint8_t> bytes;
    std::uint32_t state = seed;
    for (std::int32_t block = 0; block < frameCount * channelCount; ++block) {
        state = state * 1664525u + 1013904223u;
        const std::uint16_t scaleWord = static_cast<std::uint16_t>((state >> 16) & 0x03FF);
        bytes.push_back(static_cast<std::uint8_t>(scaleWord >> 8));
        bytes.push_back(static_cast<std::uint8_t>(scaleWord));
        for (int i = 0; i < 16; ++i) {
            state = state * 1664525u + 1013904223u;
            bytes.push_back(static_cast<std::uint8_t>(state >> 24));
        }
    }
    return bytes;
}

constexpr std::int16_t kSentinel = 0x5A5A;
constexpr std::int16_t kCoef1 = 7334; // 44100 Hz, 500 Hz cutoff
constexpr std::int16_t kCoef2 = -3283;

bool SameHistory(const AdxChannelHistory& a, const AdxChannelHistory& b) {
    return a.prev1 == b.prev1 && a.prev2 == b.prev2;
}

std::vector<std::int16_t> DecodeMonoBlock(const Block& block, AdxChannelHistory& history,
                                          std::int16_t coef1, std::int16_t coef2) {
    std::vector<std::int16_t> output(kAdxBlockSamples, kSentinel);
    std::int32_t bytesProduced = -1;
    EXPECT_EQ(
        DecodeFramesMono(output.data(), block.data(), 1, history, coef1, coef2, bytesProduced),
        kAdxDecodeOk);
    EXPECT_EQ(bytesProduced, 64);
    return output;
}

TEST(AdxDecoder, WorkedBlockDecodesToKnownSamples) {
    // Multiplier 17; the sixth prediction is -158563 >> 12, which floors
    // -38.7 to -39.
    const Block block = MakeBlock(0x0010, {0x7F, 0x80, 0x00});
    AdxChannelHistory history;
    const std::vector<std::int16_t> output = DecodeMonoBlock(block, history, kCoef1, kCoef2);
    const std::vector<std::int16_t> expected = {119, 196, 119, 55, 3, -39};
    const std::vector<std::int16_t> head(output.begin(), output.begin() + 6);
    EXPECT_EQ(FirstPcmMismatch(head, expected), -1) << DescribePcmMismatch(head, expected);
    EXPECT_EQ(history.prev1, output[31]);
    EXPECT_EQ(history.prev2, output[30]);
}

TEST(AdxDecoder, SingleSampleArithmetic) {
    struct Case {
        const char* name;
        std::uint16_t scaleWord;
        std::uint8_t codeByte; // every code byte of the block
        std::int16_t coef1;
        std::int16_t coef2;
        AdxChannelHistory history;
        std::int16_t firstSample;
        std::int16_t secondSample;
    };
    const Case cases[] = {
        {"scale 0x0000: multiplier 1", 0x0000, 0x77, 0, 0, {0, 0}, 7, 7},
        {"scale 0x0FFF: multiplier 4096", 0x0FFF, 0x11, 0, 0, {0, 0}, 4096, 4096},
        {"scale 0x1FFF: multiplier 0", 0x1FFF, 0x77, 4096, 0, {1000, 0}, 1000, 1000},
        {"scale 0x2000: multiplier 1", 0x2000, 0x77, 0, 0, {0, 0}, 7, 7},
        {"scale 0x7FFF: multiplier 0", 0x7FFF, 0x77, 0, 0, {0, 0}, 0, 0},
        {"saturates high", 0x0FFF, 0x77, 8192, 0, {28672, 0}, 32767, 32767},
        {"saturates low", 0x0FFF, 0x88, 8192, 0, {-28672, 0}, -32768, -32768},
        {"the shift floors", 0x0000, 0x00, 1, 0, {-1, 0}, -1, -1},
        {"coef2 weights prev2", 0x0000, 0x00, 0, 4096, {0, 500}, 500, 0},
        {"high nibble first", 0x0000, 0x1F, 0, 0, {0, 0}, 1, -1},
        // Coefficients beyond those of ComputeAdxCoefficients: the 32-bit
        // sum 2^31 wraps as the hardware would, to a large negative value.
        {"extreme coefficients wrap",
         0x0000,
         0x00,
         -32768,
         -32768,
         {-32768, -32768},
         -32768,
         -32768},
    };
    for (const Case& c : cases) {
        AdxChannelHistory history = c.history;
        const std::vector<std::int16_t> output =
            DecodeMonoBlock(MakeBlock(c.scaleWord, {c.codeByte}), history, c.coef1, c.coef2);
        EXPECT_EQ(output[0], c.firstSample) << c.name;
        EXPECT_EQ(output[1], c.secondSample) << c.name;
    }
}

TEST(AdxDecoder, SaturatedValuesEnterTheHistory) {
    AdxChannelHistory history{28672, 0};
    const std::vector<std::int16_t> output =
        DecodeMonoBlock(MakeBlock(0x0FFF, {0x70, 0x00}), history, 8192, 0);
    EXPECT_EQ(output[0], 32767);
    // Sample 1 predicts from the saturated 32767 and 28672: 2 * 32767 - 0 = 65534.
    EXPECT_EQ(output[1], 32767);
    EXPECT_EQ(history.prev1, 32767);
}

TEST(AdxDecoder, CodesAreSignedNibbles) {
    const Block block = MakeBlock(0x0000, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x00});
    AdxChannelHistory history;
    const std::vector<std::int16_t> output = DecodeMonoBlock(block, history, 0, 0);
    const std::vector<std::int16_t> expected = {0,  1,  2,  3,  4,  5, 6, 7, -8, -7, -6,
                                                -5, -4, -3, -2, -1, 0, 0, 0, 0,  0,  0,
                                                0,  0,  0,  0,  0,  0, 0, 0, 0,  0};
    EXPECT_EQ(FirstPcmMismatch(output, expected), -1) << DescribePcmMismatch(output, expected);
}

TEST(AdxDecoder, StereoInterleavesChannelZeroFirst) {
    std::vector<std::uint8_t> frame;
    for (const Block& block : {MakeBlock(0x0000, {0x11}), MakeBlock(0x0001, {0x11})}) {
        frame.insert(frame.end(), block.begin(), block.end());
    }
    std::vector<std::int16_t> output(64, kSentinel);
    AdxChannelHistory left, right;
    std::int32_t bytesProduced = -1;
    ASSERT_EQ(DecodeFramesStereo(output.data(), frame.data(), 1, left, right, 0, 0, bytesProduced),
              kAdxDecodeOk);
    EXPECT_EQ(bytesProduced, 128);
    for (std::size_t i = 0; i < output.size(); ++i) {
        ASSERT_EQ(output[i], i % 2 == 0 ? 1 : 2) << "slot " << i;
    }
}

// Whole frames, mono and stereo: consecutive calls carry the history, so any
// split of a run of frames decodes like the run in one call.
TEST(AdxDecoder, SplittingAFrameRunChangesNothing) {
    for (const std::int32_t channelCount : {1, 2}) {
        const std::int32_t frameCount = 9;
        const std::vector<std::uint8_t> frames = MakeFrames(frameCount, channelCount, 7);
        const std::size_t samplesPerFrame = 32u * channelCount;
        const std::size_t frameBytes = 18u * channelCount;
        auto decode = [&](std::int16_t* out, const std::uint8_t* in, std::int32_t count,
                          AdxChannelHistory* histories, std::int32_t& bytesProduced) {
            return channelCount == 1
                       ? DecodeFramesMono(out, in, count, histories[0], kCoef1, kCoef2,
                                          bytesProduced)
                       : DecodeFramesStereo(out, in, count, histories[0], histories[1], kCoef1,
                                            kCoef2, bytesProduced);
        };
        std::vector<std::int16_t> whole(samplesPerFrame * frameCount, kSentinel);
        AdxChannelHistory wholeHistory[2] = {{100, -100}, {-5, 5}};
        std::int32_t bytesProduced = 0;
        ASSERT_EQ(decode(whole.data(), frames.data(), frameCount, wholeHistory, bytesProduced),
                  kAdxDecodeOk);
        ASSERT_EQ(bytesProduced, static_cast<std::int32_t>(whole.size() * 2));

        for (std::int32_t split = 0; split <= frameCount; ++split) {
            std::vector<std::int16_t> pieces(whole.size(), kSentinel);
            AdxChannelHistory histories[2] = {{100, -100}, {-5, 5}};
            std::int32_t firstBytes = 0, secondBytes = 0;
            ASSERT_EQ(decode(pieces.data(), frames.data(), split, histories, firstBytes),
                      kAdxDecodeOk);
            ASSERT_EQ(decode(pieces.data() + samplesPerFrame * split,
                             frames.data() + frameBytes * split, frameCount - split, histories,
                             secondBytes),
                      kAdxDecodeOk);
            EXPECT_EQ(firstBytes + secondBytes, bytesProduced);
            EXPECT_EQ(FirstPcmMismatch(pieces, whole), -1)
                << channelCount << " channels, split " << split << ": "
                << DescribePcmMismatch(pieces, whole);
            for (int channel = 0; channel < channelCount; ++channel) {
                EXPECT_TRUE(SameHistory(histories[channel], wholeHistory[channel]));
            }
        }
    }
}

// A frame decoded whole equals the same frame decoded as samples 0..k-1 and
// k..31 in two partial calls, samples and final history, for every k.
TEST(AdxDecoder, WholeFrameEqualsTwoPartialCalls) {
    for (const std::int32_t channelCount : {1, 2}) {
        const std::vector<std::uint8_t> frame = MakeFrames(1, channelCount, 99);
        const std::size_t slots = 32u * channelCount;
        std::vector<std::int16_t> whole(slots, kSentinel);
        AdxChannelHistory wholeHistory[2] = {{1234, -321}, {-77, 4000}};
        std::int32_t bytesProduced = 0;
        if (channelCount == 1) {
            ASSERT_EQ(DecodeFramesMono(whole.data(), frame.data(), 1, wholeHistory[0], kCoef1,
                                       kCoef2, bytesProduced),
                      kAdxDecodeOk);
        } else {
            ASSERT_EQ(DecodeFramesStereo(whole.data(), frame.data(), 1, wholeHistory[0],
                                         wholeHistory[1], kCoef1, kCoef2, bytesProduced),
                      kAdxDecodeOk);
        }

        auto partial = [&](std::int16_t* out, std::int32_t start, std::int32_t end,
                           AdxChannelHistory* histories, std::int32_t& bytes) {
            return channelCount == 1
                       ? DecodePartialFrameMono(out, frame.data(), start, end, histories[0], kCoef1,
                                                kCoef2, bytes)
                       : DecodePartialFrameStereo(out, frame.data(), start, end, histories[0],
                                                  histories[1], kCoef1, kCoef2, bytes);
        };
        for (std::int32_t split = 0; split <= 32; ++split) {
            std::vector<std::int16_t> pieces(slots, kSentinel);
            AdxChannelHistory histories[2] = {{1234, -321}, {-77, 4000}};
            std::int32_t firstBytes = -1, secondBytes = -1;
            ASSERT_EQ(partial(pieces.data(), 0, split, histories, firstBytes), kAdxDecodeOk);
            // The second call's output starts with sample `split` at the pointer.
            ASSERT_EQ(
                partial(pieces.data() + split * channelCount, split, 32, histories, secondBytes),
                kAdxDecodeOk);
            EXPECT_EQ(firstBytes, 2 * channelCount * split);
            EXPECT_EQ(firstBytes + secondBytes, bytesProduced);
            EXPECT_EQ(FirstPcmMismatch(pieces, whole), -1)
                << channelCount << " channels, split at " << split << ": "
                << DescribePcmMismatch(pieces, whole);
            for (int channel = 0; channel < channelCount; ++channel) {
                EXPECT_TRUE(SameHistory(histories[channel], wholeHistory[channel]))
                    << channelCount << " channels, split at " << split;
            }
        }
    }
}

TEST(AdxDecoder, PartialFrameRanges) {
    struct Case {
        std::int32_t start;
        std::int32_t end;
        AdxDecodeStatus status;
        std::int32_t monoBytes;
    };
    const Case cases[] = {
        {0, 0, kAdxDecodeOk, 0},
        {32, 32, kAdxDecodeOk, 0},
        {40, 40, kAdxDecodeOk, 0}, // start == end succeeds whatever the values
        {-5, -5, kAdxDecodeOk, 0},
        {0, 32, kAdxDecodeOk, 64},
        {0, 1, kAdxDecodeOk, 2},
        {31, 32, kAdxDecodeOk, 2},
        {7, 19, kAdxDecodeOk, 24},
        {32, 31, kAdxDecodeRangeOutOfBounds, 0},
        {5, 0, kAdxDecodeRangeOutOfBounds, 0},
        {-1, 5, kAdxDecodeRangeOutOfBounds, 0},
        {0, 33, kAdxDecodeRangeOutOfBounds, 0},
        {32, 33, kAdxDecodeRangeOutOfBounds, 0},
        {10, 5, kAdxDecodeRangeOutOfBounds, 0}, // start > end inside the frame
        {31, 1, kAdxDecodeRangeOutOfBounds, 0},
    };
    const std::vector<std::uint8_t> frame = MakeFrames(1, 2, 5);
    for (const Case& c : cases) {
        for (const std::int32_t channelCount : {1, 2}) {
            std::vector<std::int16_t> output(64, kSentinel);
            const AdxChannelHistory initial[2] = {{11, 22}, {33, 44}};
            AdxChannelHistory histories[2] = {initial[0], initial[1]};
            std::int32_t bytesProduced = -1;
            const AdxDecodeStatus status =
                channelCount == 1
                    ? DecodePartialFrameMono(output.data(), frame.data(), c.start, c.end,
                                             histories[0], kCoef1, kCoef2, bytesProduced)
                    : DecodePartialFrameStereo(output.data(), frame.data(), c.start, c.end,
                                               histories[0], histories[1], kCoef1, kCoef2,
                                               bytesProduced);
            const std::string name = std::to_string(c.start) + ".." + std::to_string(c.end) + ", " +
                                     std::to_string(channelCount) + " channels";
            EXPECT_EQ(status, c.status) << name;
            const std::int32_t expectedBytes = c.monoBytes * channelCount;
            EXPECT_EQ(bytesProduced, expectedBytes) << name;
            // Nothing beyond the reported bytes is written.
            for (std::size_t i = static_cast<std::size_t>(expectedBytes / 2); i < output.size();
                 ++i) {
                ASSERT_EQ(output[i], kSentinel) << name << ", slot " << i;
            }
            if (expectedBytes == 0) {
                for (int channel = 0; channel < channelCount; ++channel) {
                    EXPECT_TRUE(SameHistory(histories[channel], initial[channel])) << name;
                }
            }
        }
    }
}

TEST(AdxDecoder, OneSamplePartialShiftsTheHistory) {
    const Block block = MakeBlock(0x0000, {0x30});
    AdxChannelHistory history{500, -500};
    std::int16_t output = 0;
    std::int32_t bytesProduced = 0;
    ASSERT_EQ(DecodePartialFrameMono(&output, block.data(), 0, 1, history, 0, 0, bytesProduced),
              kAdxDecodeOk);
    EXPECT_EQ(output, 3);
    EXPECT_EQ(history.prev1, 3);
    EXPECT_EQ(history.prev2, 500);
}

// Bit 15 of a scale word fails the call and leaves every history as it was;
// the byte count covers only the frames finished before the failing one.
TEST(AdxDecoder, ScaleWordBit15Fails) {
    struct Case {
        const char* name;
        std::int32_t channelCount;
        std::int32_t badBlock; // index of the block whose scale word gets bit 15
        std::uint16_t badScale;
        std::int32_t expectedBytes;
    };
    const Case cases[] = {
        {"mono, first frame", 1, 0, 0x8000, 0},
        {"mono, third frame", 1, 2, 0xFFFF, 128},
        {"stereo, channel 0 of frame 1", 2, 2, 0x8000, 128},
        {"stereo, channel 1 of frame 0", 2, 1, 0x8001, 0},
        {"stereo, channel 1 of frame 2", 2, 5, 0x9FFF, 256},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> frames = MakeFrames(4, c.channelCount, 3);
        frames[18 * c.badBlock] = static_cast<std::uint8_t>(c.badScale >> 8);
        frames[18 * c.badBlock + 1] = static_cast<std::uint8_t>(c.badScale);
        std::vector<std::int16_t> output(4u * 32 * c.channelCount, kSentinel);
        AdxChannelHistory left{10, 20}, right{30, 40};
        std::int32_t bytesProduced = -1;
        const AdxDecodeStatus status =
            c.channelCount == 1 ? DecodeFramesMono(output.data(), frames.data(), 4, left, kCoef1,
                                                   kCoef2, bytesProduced)
                                : DecodeFramesStereo(output.data(), frames.data(), 4, left, right,
                                                     kCoef1, kCoef2, bytesProduced);
        EXPECT_EQ(status, kAdxDecodeScaleBit15) << c.name;
        EXPECT_EQ(bytesProduced, c.expectedBytes) << c.name;
        EXPECT_TRUE(SameHistory(left, {10, 20})) << c.name;
        EXPECT_TRUE(SameHistory(right, {30, 40})) << c.name;

        // The partial routines on the failing frame: status 1, 0 bytes.
        const std::int32_t badFrame = c.badBlock / c.channelCount;
        const std::uint8_t* frame = frames.data() + 18 * c.channelCount * badFrame;
        bytesProduced = -1;
        const AdxDecodeStatus partialStatus =
            c.channelCount == 1 ? DecodePartialFrameMono(output.data(), frame, 3, 9, left, kCoef1,
                                                         kCoef2, bytesProduced)
                                : DecodePartialFrameStereo(output.data(), frame, 3, 9, left, right,
                                                           kCoef1, kCoef2, bytesProduced);
        EXPECT_EQ(partialStatus, kAdxDecodeScaleBit15) << c.name;
        EXPECT_EQ(bytesProduced, 0) << c.name;
        EXPECT_TRUE(SameHistory(left, {10, 20})) << c.name;
        EXPECT_TRUE(SameHistory(right, {30, 40})) << c.name;
    }
}

TEST(AdxDecoder, NoFramesDecodesNothing) {
    for (const std::int32_t frameCount : {0, -1, -2147483647 - 1}) {
        std::int16_t output = kSentinel;
        AdxChannelHistory left{1, 2}, right{3, 4};
        std::int32_t bytesProduced = -1;
        EXPECT_EQ(
            DecodeFramesMono(&output, nullptr, frameCount, left, kCoef1, kCoef2, bytesProduced),
            kAdxDecodeOk);
        EXPECT_EQ(bytesProduced, 0);
        bytesProduced = -1;
        EXPECT_EQ(DecodeFramesStereo(&output, nullptr, frameCount, left, right, kCoef1, kCoef2,
                                     bytesProduced),
                  kAdxDecodeOk);
        EXPECT_EQ(bytesProduced, 0);
        EXPECT_EQ(output, kSentinel);
        EXPECT_TRUE(SameHistory(left, {1, 2}));
        EXPECT_TRUE(SameHistory(right, {3, 4}));
    }
}

} // namespace
