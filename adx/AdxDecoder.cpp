#include "adx/AdxDecoder.h"

namespace {

#if defined(__GNUC__)
#define ADX_ALWAYS_INLINE inline __attribute__((always_inline))
#define ADX_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#else
#define ADX_ALWAYS_INLINE inline
#define ADX_UNLIKELY(condition) (condition)
#endif

constexpr std::int32_t kMonoFrameOutputBytes = kAdxBlockSamples * 2;
constexpr std::int32_t kStereoFrameOutputBytes = kAdxBlockSamples * 4;
constexpr std::uint32_t kScaleBit15 = 0x8000;
constexpr std::uint32_t kMultiplierMask = 0x1FFF;

static_assert((-1 >> 1) == -1, "the prediction needs an arithmetic (flooring) right shift");

std::uint32_t ReadScaleWord(const std::uint8_t* block) {
    return (std::uint32_t{block[0]} << 8) | block[1];
}

// Only the low 13 bits of the scale word plus one count: 0x1FFF gives 0.
std::int32_t MultiplierOf(std::uint32_t scaleWord) {
    return static_cast<std::int32_t>((scaleWord + 1) & kMultiplierMask);
}

// Eight four-bit codes, the first in the top nibble.
std::uint32_t ReadCodes(const std::uint8_t* codeBytes) {
    return (std::uint32_t{codeBytes[0]} << 24) | (std::uint32_t{codeBytes[1]} << 16) |
           (std::uint32_t{codeBytes[2]} << 8) | codeBytes[3];
}

// The signed code in the top nibble of codes.
ADX_ALWAYS_INLINE std::int32_t TopCode(std::uint32_t codes) {
    const std::int32_t nibble = static_cast<std::int32_t>(codes >> 28);
    return nibble - ((nibble & 8) << 1);
}

// One sample: the prediction from the history plus the scaled code, saturated
// to 16 bits; the history moves on by the saturated value.
ADX_ALWAYS_INLINE std::int16_t DecodeSample(std::int32_t code, std::int32_t multiplier,
                                            std::int32_t& prev1, std::int32_t& prev2,
                                            std::int32_t coef1, std::int32_t coef2) {
    // Each product fits 31 bits. Their sum wraps as 32-bit arithmetic does,
    // which only coefficients beyond those of ComputeAdxCoefficients reach.
    const std::uint32_t sum =
        static_cast<std::uint32_t>(coef1 * prev1) + static_cast<std::uint32_t>(coef2 * prev2);
    const std::int32_t prediction = static_cast<std::int32_t>(sum) >> 12;
    std::int32_t value = code * multiplier + prediction;
    // Saturation is rare in real audio: as a predicted branch it stays off
    // the dependency chain from one sample to the next.
    if (ADX_UNLIKELY(static_cast<std::uint32_t>(value + 32768) > 0xFFFFu)) {
        value = value < 0 ? -32768 : 32767;
    }
    prev2 = prev1;
    prev1 = value;
    return static_cast<std::int16_t>(value);
}

// Samples start .. end - 1 of one block into output[0], output[stride], ...
void DecodeBlockRange(std::int16_t* output, std::int32_t stride, const std::uint8_t* block,
                      std::int32_t start, std::int32_t end, std::int32_t& prev1,
                      std::int32_t& prev2, std::int32_t coef1, std::int32_t coef2) {
    const std::int32_t multiplier = MultiplierOf(ReadScaleWord(block));
    for (std::int32_t sample = start; sample < end; ++sample) {
        const std::uint32_t codeByte = block[2 + sample / 2];
        const std::uint32_t codes = (sample % 2 == 0 ? codeByte : codeByte << 4) << 24;
        *output = DecodeSample(TopCode(codes), multiplier, prev1, prev2, coef1, coef2);
        output += stride;
    }
}

bool PartialRangeIsValid(std::int32_t start, std::int32_t end) {
    return start >= 0 && start <= kAdxBlockSamples - 1 && end >= 1 && end <= kAdxBlockSamples &&
           start <= end;
}

} // namespace

AdxDecodeStatus DecodeFramesMono(std::int16_t* output, const std::uint8_t* input,
                                 std::int32_t frameCount, AdxChannelHistory& history,
                                 std::int16_t coef1, std::int16_t coef2,
                                 std::int32_t& bytesProduced) {
    bytesProduced = 0;
    std::int32_t prev1 = history.prev1;
    std::int32_t prev2 = history.prev2;
    for (std::int32_t frame = 0; frame < frameCount; ++frame) {
        const std::uint32_t scaleWord = ReadScaleWord(input);
        if (scaleWord & kScaleBit15) {
            return kAdxDecodeScaleBit15;
        }
        const std::int32_t multiplier = MultiplierOf(scaleWord);
        const std::uint8_t* codeBytes = input + 2;
        for (int step = 0; step < 4; ++step) {
            std::uint32_t codes = ReadCodes(codeBytes);
            for (int i = 0; i < 8; ++i) {
                output[i] = DecodeSample(TopCode(codes), multiplier, prev1, prev2, coef1, coef2);
                codes <<= 4;
            }
            codeBytes += 4;
            output += 8;
        }
        input += kAdxBlockBytes;
        bytesProduced += kMonoFrameOutputBytes;
    }
    history.prev1 = static_cast<std::int16_t>(prev1);
    history.prev2 = static_cast<std::int16_t>(prev2);
    return kAdxDecodeOk;
}

AdxDecodeStatus DecodeFramesStereo(std::int16_t* output, const std::uint8_t* input,
                                   std::int32_t frameCount, AdxChannelHistory& history0,
                                   AdxChannelHistory& history1, std::int16_t coef1,
                                   std::int16_t coef2, std::int32_t& bytesProduced) {
    bytesProduced = 0;
    std::int32_t left1 = history0.prev1;
    std::int32_t left2 = history0.prev2;
    std::int32_t right1 = history1.prev1;
    std::int32_t right2 = history1.prev2;
    for (std::int32_t frame = 0; frame < frameCount; ++frame) {
        // Both scale words are checked before anything of the frame is
        // written, so the two channels can be decoded side by side: their
        // prediction chains are independent and overlap in the pipeline.
        const std::uint32_t leftScale = ReadScaleWord(input);
        const std::uint32_t rightScale = ReadScaleWord(input + kAdxBlockBytes);
        if ((leftScale | rightScale) & kScaleBit15) {
            return kAdxDecodeScaleBit15;
        }
        const std::int32_t leftMultiplier = MultiplierOf(leftScale);
        const std::int32_t rightMultiplier = MultiplierOf(rightScale);
        const std::uint8_t* leftCodeBytes = input + 2;
        const std::uint8_t* rightCodeBytes = input + kAdxBlockBytes + 2;
        for (int step = 0; step < 4; ++step) {
            std::uint32_t leftCodes = ReadCodes(leftCodeBytes);
            std::uint32_t rightCodes = ReadCodes(rightCodeBytes);
            for (int i = 0; i < 8; ++i) {
                output[2 * i] =
                    DecodeSample(TopCode(leftCodes), leftMultiplier, left1, left2, coef1, coef2);
                output[2 * i + 1] = DecodeSample(TopCode(rightCodes), rightMultiplier, right1,
                                                 right2, coef1, coef2);
                leftCodes <<= 4;
                rightCodes <<= 4;
            }
            leftCodeBytes += 4;
            rightCodeBytes += 4;
            output += 16;
        }
        input += 2 * kAdxBlockBytes;
        bytesProduced += kStereoFrameOutputBytes;
    }
    history0.prev1 = static_cast<std::int16_t>(left1);
    history0.prev2 = static_cast<std::int16_t>(left2);
    history1.prev1 = static_cast<std::int16_t>(right1);
    history1.prev2 = static_cast<std::int16_t>(right2);
    return kAdxDecodeOk;
}

AdxDecodeStatus DecodePartialFrameMono(std::int16_t* output, const std::uint8_t* input,
                                       std::int32_t start, std::int32_t end,
                                       AdxChannelHistory& history, std::int16_t coef1,
                                       std::int16_t coef2, std::int32_t& bytesProduced) {
    bytesProduced = 0;
    if (start == end) {
        return kAdxDecodeOk;
    }
    if (!PartialRangeIsValid(start, end)) {
        return kAdxDecodeRangeOutOfBounds;
    }
    if (ReadScaleWord(input) & kScaleBit15) {
        return kAdxDecodeScaleBit15;
    }
    std::int32_t prev1 = history.prev1;
    std::int32_t prev2 = history.prev2;
    DecodeBlockRange(output, 1, input, start, end, prev1, prev2, coef1, coef2);
    history.prev1 = static_cast<std::int16_t>(prev1);
    history.prev2 = static_cast<std::int16_t>(prev2);
    bytesProduced = 2 * (end - start);
    return kAdxDecodeOk;
}

AdxDecodeStatus DecodePartialFrameStereo(std::int16_t* output, const std::uint8_t* input,
                                         std::int32_t start, std::int32_t end,
                                         AdxChannelHistory& history0, AdxChannelHistory& history1,
                                         std::int16_t coef1, std::int16_t coef2,
                                         std::int32_t& bytesProduced) {
    bytesProduced = 0;
    if (start == end) {
        return kAdxDecodeOk;
    }
    if (!PartialRangeIsValid(start, end)) {
        return kAdxDecodeRangeOutOfBounds;
    }
    const std::uint8_t* rightBlock = input + kAdxBlockBytes;
    if ((ReadScaleWord(input) | ReadScaleWord(rightBlock)) & kScaleBit15) {
        return kAdxDecodeScaleBit15;
    }
    std::int32_t left1 = history0.prev1;
    std::int32_t left2 = history0.prev2;
    std::int32_t right1 = history1.prev1;
    std::int32_t right2 = history1.prev2;
    DecodeBlockRange(output, 2, input, start, end, left1, left2, coef1, coef2);
    DecodeBlockRange(output + 1, 2, rightBlock, start, end, right1, right2, coef1, coef2);
    history0.prev1 = static_cast<std::int16_t>(left1);
    history0.prev2 = static_cast<std::int16_t>(left2);
    history1.prev1 = static_cast<std::int16_t>(right1);
    history1.prev2 = static_cast<std::int16_t>(right2);
    bytesProduced = 4 * (end - start);
    return kAdxDecodeOk;
}
