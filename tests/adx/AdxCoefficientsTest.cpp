#include "adx/AdxCoefficients.h"

#include <gtest/gtest.h>

namespace {

TEST(ComputeAdxCoefficients, KnownRates) {
    struct Case {
        std::int32_t sampleRate;
        std::int32_t cutoff;
        std::int32_t coef1;
        std::int32_t coef2;
    };
    const Case cases[] = {
        {44100, 500, 7334, -3283}, // -3283.12 truncates toward zero
        {48000, 500, 7400, -3342},
        {22050, 500, 6569, -2634},
        {0, 500, 0, 0}, // no meaningful answer: zero, not undefined
        {-44100, 500, 0, 0},
    };
    for (const Case& c : cases) {
        const AdxCoefficients coefficients = ComputeAdxCoefficients(c.sampleRate, c.cutoff);
        EXPECT_EQ(coefficients.coef1, c.coef1) << c.sampleRate << " Hz";
        EXPECT_EQ(coefficients.coef2, c.coef2) << c.sampleRate << " Hz";
    }
}

// The decoder carries the coefficients on in 16-bit fields: they must stay
// inside 0..8192 and -4096..0 for every positive rate and 16-bit cutoff.
TEST(ComputeAdxCoefficients, StayInRangeForEveryRateAndCutoff) {
    const std::int32_t rates[] = {1, 2, 7, 8000, 11025, 44100, 96000, 0x7FFFFFFF};
    const std::int32_t cutoffs[] = {0, 1, 500, 4000, 22050, 44100, 65535};
    for (const std::int32_t rate : rates) {
        for (const std::int32_t cutoff : cutoffs) {
            const AdxCoefficients coefficients = ComputeAdxCoefficients(rate, cutoff);
            EXPECT_GE(coefficients.coef1, 0) << rate << "/" << cutoff;
            EXPECT_LE(coefficients.coef1, 8192) << rate << "/" << cutoff;
            EXPECT_GE(coefficients.coef2, -4096) << rate << "/" << cutoff;
            EXPECT_LE(coefficients.coef2, 0) << rate << "/" << cutoff;
        }
    }
}

} // namespace
