#include "adx/AdxBlockEncoder.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <limits>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ADX_ENCODER_X86 1
#define ADX_ENCODER_INLINE inline __attribute__((always_inline))
#else
#define ADX_ENCODER_X86 0
#define ADX_ENCODER_INLINE inline
#endif

namespace {

constexpr std::int32_t kCodeMin = -8;
constexpr std::int32_t kCodeMax = 7;

// How widely a block is searched. Multipliers from lowestSixteenths/16 to
// highestSixteenths/16 of the peak estimate are tried with the nearest-code
// quantiser in steps of about 1/stepDivisor (every multiplier where that is
// less than one): the error is a jagged function of the multiplier, so a
// dense search pays. The best `searched` of them, ranked in single
// precision, are quantised again to pick the exact best.
//
// The codes stay the nearest ones. Keeping several paths per sample lowers
// the error a little (about 0.04 dB), but it leaves streams on which a
// decoder that starts from another history (after a seek) keeps a small
// offset for a long time instead of meeting the straight decode within a
// few hundred samples.
struct SearchWidth {
    std::int32_t lowestSixteenths;
    std::int32_t highestSixteenths;
    std::int32_t stepDivisor;
    std::int32_t searched;
};
constexpr SearchWidth kDefaultSearch{11, 17, 128, 2};
constexpr SearchWidth kThoroughSearch{9, 20, 512, 3};
constexpr std::int32_t kMaxSearched = 3;

std::int32_t Saturate16(std::int32_t value) {
    return std::clamp(value, -32768, 32767);
}

// The nearest code to quotient (clamped to the code range) as an integer,
// without a call to a rounding function.
std::int32_t NearestCode(float quotient) {
    const float clamped =
        std::clamp(quotient, static_cast<float>(kCodeMin), static_cast<float>(kCodeMax));
    return static_cast<std::int32_t>(clamped + 8.5F) - 8;
}

// The nearest-code quantiser's squared error with each of kGreedyLanes
// multipliers, side by side: one vector per step holds every lane, in
// whatever registers the target has (the compiler's vector extension).
ADX_ENCODER_INLINE void GreedyLanes(const std::int32_t* samples, std::int32_t sampleCount,
                                    const std::int32_t* multipliers, std::int32_t prev1,
                                    std::int32_t prev2, std::int32_t coef1, std::int32_t coef2,
                                    float* errors) {
    using Ints = std::int32_t __attribute__((vector_size(kAdxGreedyLanes * sizeof(std::int32_t))));
    using Floats = float __attribute__((vector_size(kAdxGreedyLanes * sizeof(float))));
    Ints multiplier;
    for (std::int32_t lane = 0; lane < kAdxGreedyLanes; ++lane) {
        multiplier[lane] = multipliers[lane];
    }
    const Floats reciprocal = 1.0F / __builtin_convertvector(multiplier, Floats);
    const Floats lowestCode = Floats{} + static_cast<float>(kCodeMin);
    const Floats highestCode = Floats{} + static_cast<float>(kCodeMax);
    const Ints lowestValue = Ints{} - 32768;
    const Ints highestValue = Ints{} + 32767;
    Ints last = Ints{} + prev1;
    Ints before = Ints{} + prev2;
    Floats squaredError{};
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const Ints sample = Ints{} + samples[i];
        const Ints prediction = (last * coef1 + before * coef2) >> 12;
        Floats quotient = __builtin_convertvector(sample - prediction, Floats) * reciprocal;
        quotient = quotient < lowestCode ? lowestCode : quotient;
        quotient = quotient > highestCode ? highestCode : quotient;
        const Ints code = __builtin_convertvector(quotient + 8.5F, Ints) - 8;
        Ints value = code * multiplier + prediction;
        value = value < lowestValue ? lowestValue : value;
        value = value > highestValue ? highestValue : value;
        const Floats error = __builtin_convertvector(sample - value, Floats);
        squaredError += error * error;
        before = last;
        last = value;
    }
    for (std::int32_t lane = 0; lane < kAdxGreedyLanes; ++lane) {
        errors[lane] = squaredError[lane];
    }
}

void GreedyLanesPlain(const std::int32_t* samples, std::int32_t sampleCount,
                      const std::int32_t* multipliers, std::int32_t prev1, std::int32_t prev2,
                      std::int32_t coef1, std::int32_t coef2, float* errors) {
    GreedyLanes(samples, sampleCount, multipliers, prev1, prev2, coef1, coef2, errors);
}

#if ADX_ENCODER_X86
// The same code for processors with AVX2: eight lanes in one register.
__attribute__((target("avx2"))) void
GreedyLanesAvx2(const std::int32_t* samples, std::int32_t sampleCount,
                const std::int32_t* multipliers, std::int32_t prev1, std::int32_t prev2,
                std::int32_t coef1, std::int32_t coef2, float* errors) {
    GreedyLanes(samples, sampleCount, multipliers, prev1, prev2, coef1, coef2, errors);
}
#endif

AdxBlockEncoder::GreedyFunction PickGreedyLanes() {
#if ADX_ENCODER_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return GreedyLanesAvx2;
    }
#endif
    return GreedyLanesPlain;
}

} // namespace

AdxBlockEncoder::AdxBlockEncoder(std::int32_t coef1, std::int32_t coef2, bool thorough)
    : coef1_(coef1), coef2_(coef2), thorough_(thorough), greedyLanes_(PickGreedyLanes()) {}

std::int64_t AdxBlockEncoder::Quantise(const std::int32_t* samples, std::int32_t sampleCount,
                                       std::int32_t multiplier, std::int32_t prev1,
                                       std::int32_t prev2, AdxEncodedBlock& out) const {
    out.multiplier = multiplier;
    out.codes.fill(0);
    out.decoded.fill(0);
    const float reciprocal = 1.0F / static_cast<float>(multiplier);
    std::int64_t squaredError = 0;
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const std::int32_t prediction = (coef1_ * prev1 + coef2_ * prev2) >> 12;
        const std::int32_t code =
            NearestCode(static_cast<float>(samples[i] - prediction) * reciprocal);
        const std::int32_t value = Saturate16(code * multiplier + prediction);
        const std::int64_t error = samples[i] - value;
        squaredError += error * error;
        out.codes[i] = static_cast<std::int8_t>(code);
        out.decoded[i] = static_cast<std::int16_t>(value);
        prev2 = prev1;
        prev1 = value;
    }
    out.squaredError = squaredError;
    return squaredError;
}

std::int32_t AdxBlockEncoder::PeakMultiplier(const std::int32_t* samples, std::int32_t sampleCount,
                                             std::int32_t prev1, std::int32_t prev2) const {
    // The peak residual of the input predicted from itself sets the range
    // of multipliers worth trying.
    std::int32_t peak = 0;
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const std::int32_t prediction = (coef1_ * prev1 + coef2_ * prev2) >> 12;
        peak = std::max(peak, std::abs(samples[i] - prediction));
        prev2 = prev1;
        prev1 = samples[i];
    }
    return std::clamp((peak + 6) / 7, 1, kAdxMaxMultiplier);
}

void AdxBlockEncoder::EncodeShared(const std::int16_t* samples, std::int32_t sampleCount,
                                   const AdxChannelHistory& first, AdxChannelHistory second,
                                   std::int32_t secondFrom, AdxEncodedBlock& out,
                                   AdxChannelHistory& secondEnd) const {
    assert(sampleCount >= 1 && sampleCount <= kAdxBlockSamples);
    assert(secondFrom >= 0 && secondFrom < sampleCount);
    std::array<std::int32_t, kAdxBlockSamples> input{};
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        input[i] = samples[i];
    }
    const std::int32_t estimate =
        std::max(PeakMultiplier(input.data(), sampleCount, first.prev1, first.prev2),
                 PeakMultiplier(input.data() + secondFrom, sampleCount - secondFrom, second.prev1,
                                second.prev2));
    const SearchWidth& width = kThoroughSearch;
    const std::int32_t lowest = std::max(1, estimate * width.lowestSixteenths / 16);
    const std::int32_t highest =
        std::min(kAdxMaxMultiplier, estimate * width.highestSixteenths / 16 + 1);

    // The first decoder's own block sets the limit and is the first
    // candidate: its output keeps within it, the second's may not.
    Encode(samples, sampleCount, first, out);
    const std::int32_t strayLimit = StrayLimit(samples, out.decoded.data(), sampleCount);
    secondEnd = second;
    std::array<std::int16_t, kAdxBlockSamples> secondDecoded{};
    out.squaredError += Decode(samples + secondFrom, sampleCount - secondFrom, out.multiplier,
                               out.codes.data() + secondFrom, secondEnd, secondDecoded.data());
    std::int32_t bestExcess = std::max(
        0, PeakError(samples + secondFrom, secondDecoded.data(), sampleCount - secondFrom) -
               strayLimit);
    AdxEncodedBlock candidate;
    for (std::int32_t multiplier = lowest; multiplier <= highest;
         multiplier += std::max(1, multiplier / width.stepDivisor)) {
        // Each code is the nearest to the mean of the two residuals once
        // both decoders play, so that neither strays far.
        const float reciprocal = 1.0F / static_cast<float>(multiplier);
        std::int32_t firstPrev1 = first.prev1;
        std::int32_t firstPrev2 = first.prev2;
        std::int32_t secondPrev1 = second.prev1;
        std::int32_t secondPrev2 = second.prev2;
        std::int64_t squaredError = 0;
        std::int32_t worstError = 0; // of either output
        for (std::int32_t i = 0; i < sampleCount; ++i) {
            const std::int32_t sample = input[i];
            const std::int32_t firstPrediction = (coef1_ * firstPrev1 + coef2_ * firstPrev2) >> 12;
            const bool both = i >= secondFrom;
            const std::int32_t secondPrediction =
                both ? (coef1_ * secondPrev1 + coef2_ * secondPrev2) >> 12 : firstPrediction;
            const float residual =
                static_cast<float>(2 * sample - firstPrediction - secondPrediction) * 0.5F;
            const std::int32_t code = NearestCode(residual * reciprocal);
            const std::int32_t firstValue = Saturate16(code * multiplier + firstPrediction);
            const std::int64_t firstError = sample - firstValue;
            squaredError += firstError * firstError;
            worstError = std::max(worstError, std::abs(sample - firstValue));
            candidate.codes[i] = static_cast<std::int8_t>(code);
            candidate.decoded[i] = static_cast<std::int16_t>(firstValue);
            firstPrev2 = firstPrev1;
            firstPrev1 = firstValue;
            if (both) {
                const std::int32_t secondValue = Saturate16(code * multiplier + secondPrediction);
                const std::int64_t secondError = sample - secondValue;
                squaredError += secondError * secondError;
                worstError = std::max(worstError, std::abs(sample - secondValue));
                secondPrev2 = secondPrev1;
                secondPrev1 = secondValue;
            }
        }
        const std::int32_t excess = std::max(0, worstError - strayLimit);
        if (excess < bestExcess || (excess == bestExcess && squaredError < out.squaredError)) {
            bestExcess = excess;
            candidate.multiplier = multiplier;
            candidate.squaredError = squaredError;
            for (std::int32_t i = sampleCount; i < kAdxBlockSamples; ++i) {
                candidate.codes[i] = 0;
                candidate.decoded[i] = 0;
            }
            out = candidate;
            secondEnd = {static_cast<std::int16_t>(secondPrev1),
                         static_cast<std::int16_t>(secondPrev2)};
        }
    }
}

void AdxBlockEncoder::Encode(const std::int16_t* samples, std::int32_t sampleCount,
                             const AdxChannelHistory& history, AdxEncodedBlock& out) const {
    assert(sampleCount >= 1 && sampleCount <= kAdxBlockSamples);
    std::array<std::int32_t, kAdxBlockSamples> input{};
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        input[i] = samples[i];
    }
    const std::int32_t prev1 = history.prev1;
    const std::int32_t prev2 = history.prev2;

    const std::int32_t estimate = PeakMultiplier(input.data(), sampleCount, prev1, prev2);
    const SearchWidth& width = thorough_ ? kThoroughSearch : kDefaultSearch;
    const std::int32_t lowest = std::max(1, estimate * width.lowestSixteenths / 16);
    const std::int32_t highest =
        std::min(kAdxMaxMultiplier, estimate * width.highestSixteenths / 16 + 1);

    // The fast quantiser ranks the multipliers; the best few get the search.
    std::array<std::int32_t, kMaxSearched> best{};
    std::array<float, kMaxSearched> bestErrors{};
    bestErrors.fill(std::numeric_limits<float>::max());
    std::int32_t multipliers[kAdxGreedyLanes];
    float errors[kAdxGreedyLanes];
    std::int32_t multiplier = lowest;
    while (multiplier <= highest) {
        std::int32_t laneCount = 0;
        for (; laneCount < kAdxGreedyLanes && multiplier <= highest; ++laneCount) {
            multipliers[laneCount] = multiplier;
            multiplier += std::max(1, multiplier / width.stepDivisor);
        }
        for (std::int32_t lane = laneCount; lane < kAdxGreedyLanes; ++lane) {
            multipliers[lane] = multipliers[0];
        }
        greedyLanes_(input.data(), sampleCount, multipliers, prev1, prev2, coef1_, coef2_, errors);
        for (std::int32_t lane = 0; lane < laneCount; ++lane) {
            const float error = errors[lane];
            std::int32_t slot = width.searched;
            while (slot > 0 && bestErrors[slot - 1] > error) {
                if (slot < width.searched) {
                    best[slot] = best[slot - 1];
                    bestErrors[slot] = bestErrors[slot - 1];
                }
                --slot;
            }
            if (slot < width.searched) {
                best[slot] = multipliers[lane];
                bestErrors[slot] = error;
            }
        }
    }

    AdxEncodedBlock candidate;
    out.squaredError = std::numeric_limits<std::int64_t>::max();
    for (std::int32_t k = 0; k < width.searched; ++k) {
        if (bestErrors[k] == std::numeric_limits<float>::max()) {
            break;
        }
        if (Quantise(input.data(), sampleCount, best[k], prev1, prev2, candidate) <
            out.squaredError) {
            out = candidate;
        }
    }
}

std::int32_t AdxBlockEncoder::PeakError(const std::int16_t* samples, const std::int16_t* decoded,
                                        std::int64_t sampleCount) {
    std::int32_t peak = 0;
    for (std::int64_t i = 0; i < sampleCount; ++i) {
        peak = std::max(peak, std::abs(samples[i] - decoded[i]));
    }
    return peak;
}

std::int32_t AdxBlockEncoder::StrayLimit(const std::int16_t* samples, const std::int16_t* straight,
                                         std::int64_t sampleCount) {
    std::int32_t limit = PeakError(samples, straight, sampleCount);
    for (std::int64_t i = 0; i < sampleCount; ++i) {
        limit = std::max(limit, 2 * std::abs(std::int32_t{samples[i]}));
    }
    return limit;
}

std::int64_t AdxBlockEncoder::Decode(const std::int16_t* samples, std::int32_t sampleCount,
                                     std::int32_t multiplier, const std::int8_t* codes,
                                     AdxChannelHistory& history, std::int16_t* decoded) const {
    std::int32_t prev1 = history.prev1;
    std::int32_t prev2 = history.prev2;
    std::int64_t squaredError = 0;
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const std::int32_t prediction = (coef1_ * prev1 + coef2_ * prev2) >> 12;
        const std::int32_t value = Saturate16(codes[i] * multiplier + prediction);
        const std::int64_t error = samples[i] - value;
        squaredError += error * error;
        decoded[i] = static_cast<std::int16_t>(value);
        prev2 = prev1;
        prev1 = value;
    }
    history.prev1 = static_cast<std::int16_t>(prev1);
    history.prev2 = static_cast<std::int16_t>(prev2);
    return squaredError;
}

void AdxBlockEncoder::Write(const AdxEncodedBlock& block, std::uint8_t* bytes) {
    const std::uint32_t scaleWord = static_cast<std::uint32_t>(block.multiplier - 1);
    bytes[0] = static_cast<std::uint8_t>(scaleWord >> 8);
    bytes[1] = static_cast<std::uint8_t>(scaleWord);
    for (std::int32_t i = 0; i < kAdxBlockSamples; i += 2) {
        const std::uint32_t high = static_cast<std::uint32_t>(block.codes[i]) & 0xF;
        const std::uint32_t low = static_cast<std::uint32_t>(block.codes[i + 1]) & 0xF;
        bytes[2 + i / 2] = static_cast<std::uint8_t>((high << 4) | low);
    }
}
