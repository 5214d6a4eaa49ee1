#include "adx/AdxBlockEncoder.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::int32_t kCodeMin = -8;
constexpr std::int32_t kCodeMax = 7;
// Multipliers tried by the fast quantiser around the peak estimate, in
// steps of about 1/kStepDivisor; the best kSearchedMultipliers of them get
// the full code search.
constexpr std::int32_t kStepDivisor = 24;
constexpr std::int32_t kSearchedMultipliers = 3;

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

} // namespace

AdxBlockEncoder::AdxBlockEncoder(std::int32_t coef1, std::int32_t coef2, std::int32_t survivorCount)
    : coef1_(coef1), coef2_(coef2), survivorCount_(std::clamp(survivorCount, 1, kMaxSurvivors)) {}

std::int64_t AdxBlockEncoder::GreedyError(const std::int32_t* samples, std::int32_t sampleCount,
                                          std::int32_t multiplier, std::int32_t prev1,
                                          std::int32_t prev2) const {
    const std::int32_t coef1 = coef1_;
    const std::int32_t coef2 = coef2_;
    const float reciprocal = 1.0F / static_cast<float>(multiplier);
    std::int64_t squaredError = 0;
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const std::int32_t prediction = (coef1 * prev1 + coef2 * prev2) >> 12;
        const std::int32_t residual = samples[i] - prediction;
        const std::int32_t code = NearestCode(static_cast<float>(residual) * reciprocal);
        const std::int32_t value = Saturate16(code * multiplier + prediction);
        const std::int32_t error = samples[i] - value;
        squaredError += static_cast<std::int64_t>(error) * error;
        prev2 = prev1;
        prev1 = value;
    }
    return squaredError;
}

std::int64_t AdxBlockEncoder::SearchCodes(const std::int32_t* samples, std::int32_t sampleCount,
                                          std::int32_t multiplier, std::int32_t prev1,
                                          std::int32_t prev2, AdxEncodedBlock& out) const {
    struct Path {
        std::int32_t prev1;
        std::int32_t prev2;
        std::int64_t cost;
    };
    // How each kept path came about: its parent's slot, its code, its value.
    struct Step {
        std::int8_t parent;
        std::int8_t code;
        std::int16_t value;
    };
    const std::int32_t coef1 = coef1_;
    const std::int32_t coef2 = coef2_;
    const std::int32_t keep = survivorCount_;
    const float reciprocal = 1.0F / static_cast<float>(multiplier);
    std::array<Path, kMaxSurvivors> paths{};
    std::array<Path, kMaxSurvivors> next{};
    std::array<std::array<Step, kMaxSurvivors>, kAdxBlockSamples> steps{};
    paths[0] = {prev1, prev2, 0};
    std::int32_t pathCount = 1;

    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const std::int32_t sample = samples[i];
        std::int32_t nextCount = 0;
        for (std::int32_t p = 0; p < pathCount; ++p) {
            const Path& path = paths[p];
            const std::int32_t prediction = (coef1 * path.prev1 + coef2 * path.prev2) >> 12;
            const float quotient = static_cast<float>(sample - prediction) * reciprocal;
            const std::int32_t nearest = NearestCode(quotient);
            // The nearest code and the one on the other side of the residual.
            const std::int32_t other =
                std::clamp(quotient > static_cast<float>(nearest) ? nearest + 1 : nearest - 1,
                           kCodeMin, kCodeMax);
            const std::int32_t candidates[2] = {nearest, other};
            const std::int32_t candidateCount = other == nearest ? 1 : 2;
            for (std::int32_t c = 0; c < candidateCount; ++c) {
                const std::int32_t code = candidates[c];
                const std::int32_t value = Saturate16(code * multiplier + prediction);
                const std::int64_t error = sample - value;
                const std::int64_t cost = path.cost + error * error;
                // Insert into the sorted list of kept paths; a path that ends
                // in the same history as a cheaper one is the same future.
                if (nextCount == keep && cost >= next[keep - 1].cost) {
                    continue;
                }
                bool duplicate = false;
                std::int32_t slot = nextCount;
                for (std::int32_t k = 0; k < nextCount; ++k) {
                    if (next[k].prev1 == value && next[k].prev2 == path.prev1) {
                        duplicate = next[k].cost <= cost;
                        if (!duplicate) {
                            // Replace the dearer twin: drop it, then insert.
                            for (std::int32_t j = k; j + 1 < nextCount; ++j) {
                                next[j] = next[j + 1];
                                steps[i][j] = steps[i][j + 1];
                            }
                            --nextCount;
                        }
                        break;
                    }
                }
                if (duplicate) {
                    continue;
                }
                slot = std::min(nextCount, keep - 1);
                while (slot > 0 && next[slot - 1].cost > cost) {
                    if (slot < keep) {
                        next[slot] = next[slot - 1];
                        steps[i][slot] = steps[i][slot - 1];
                    }
                    --slot;
                }
                next[slot] = {value, path.prev1, cost};
                steps[i][slot] = {static_cast<std::int8_t>(p), static_cast<std::int8_t>(code),
                                  static_cast<std::int16_t>(value)};
                nextCount = std::min(nextCount + 1, keep);
            }
        }
        paths = next;
        pathCount = nextCount;
    }

    out.multiplier = multiplier;
    out.codes.fill(0);
    out.decoded.fill(0);
    std::int32_t slot = 0;
    for (std::int32_t i = sampleCount - 1; i >= 0; --i) {
        const Step& step = steps[i][slot];
        out.codes[i] = step.code;
        out.decoded[i] = step.value;
        slot = step.parent;
    }
    out.squaredError = paths[0].cost;
    return out.squaredError;
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

    // The peak residual of the input predicted from itself sets the range
    // of multipliers worth trying.
    std::int32_t peak = 0;
    std::int32_t open1 = prev1;
    std::int32_t open2 = prev2;
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        const std::int32_t prediction = (coef1_ * open1 + coef2_ * open2) >> 12;
        peak = std::max(peak, std::abs(input[i] - prediction));
        open2 = open1;
        open1 = input[i];
    }
    const std::int32_t estimate = std::clamp((peak + 6) / 7, 1, kAdxMaxMultiplier);
    const std::int32_t lowest = std::max(1, estimate * 9 / 16);
    const std::int32_t highest = std::min(kAdxMaxMultiplier, estimate * 5 / 4 + 1);

    // The fast quantiser ranks the multipliers; the best few get the search.
    std::array<std::int32_t, kSearchedMultipliers> best{};
    std::array<std::int64_t, kSearchedMultipliers> bestErrors{};
    bestErrors.fill(std::numeric_limits<std::int64_t>::max());
    for (std::int32_t multiplier = lowest; multiplier <= highest;
         multiplier += std::max(1, multiplier / kStepDivisor)) {
        const std::int64_t error = GreedyError(input.data(), sampleCount, multiplier, prev1, prev2);
        std::int32_t slot = kSearchedMultipliers;
        while (slot > 0 && bestErrors[slot - 1] > error) {
            if (slot < kSearchedMultipliers) {
                best[slot] = best[slot - 1];
                bestErrors[slot] = bestErrors[slot - 1];
            }
            --slot;
        }
        if (slot < kSearchedMultipliers) {
            best[slot] = multiplier;
            bestErrors[slot] = error;
        }
    }

    AdxEncodedBlock candidate;
    out.squaredError = std::numeric_limits<std::int64_t>::max();
    for (std::int32_t k = 0; k < kSearchedMultipliers; ++k) {
        if (bestErrors[k] == std::numeric_limits<std::int64_t>::max()) {
            break;
        }
        if (SearchCodes(input.data(), sampleCount, best[k], prev1, prev2, candidate) <
            out.squaredError) {
            out = candidate;
        }
    }
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
