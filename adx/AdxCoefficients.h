// The two fixed-point prediction coefficients of an ADX stream.
#pragma once

#include <cstdint>

// 12 fractional bits: 4096 stands for 1.0.
struct AdxCoefficients {
    std::int32_t coef1 = 0; // weights the previous sample; 0..8192
    std::int32_t coef2 = 0; // weights the sample before that; -4096..0
};

// The coefficients for a stream's sample rate and high-pass cutoff frequency,
// both in Hz. Meaningful only for a sample rate above zero; for any other
// rate the answer is {0, 0}.
AdxCoefficients ComputeAdxCoefficients(std::int32_t sampleRate, std::int32_t cutoffFrequency);
