#include "adx/AdxCoefficients.h"

#include <cmath>

AdxCoefficients ComputeAdxCoefficients(std::int32_t sampleRate, std::int32_t cutoffFrequency) {
    if (sampleRate <= 0) {
        return {};
    }
    // A second-order high-pass predictor; the constants are sqrt(2),
    // sqrt(2) - 1 and its reciprocal. The order of operations is part of the
    // result (the truncations below see the last bit).
    const double theta = (cutoffFrequency * 6.283185307179586) / sampleRate;
    const double x = 1.4142135623730951 - std::cos(theta);
    const double y = x - std::sqrt((x - 0.41421356237309515) * (x + 0.41421356237309515));
    const double z = y * 2.4142135623730945;
    AdxCoefficients coefficients;
    coefficients.coef1 = static_cast<std::int32_t>(z * 8192);
    coefficients.coef2 = static_cast<std::int32_t>(z * z * -4096);
    return coefficients;
}
