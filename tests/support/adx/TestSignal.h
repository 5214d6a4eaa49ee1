// Synthesised 16-bit test signals, interleaved channel 0 first. Channel 1
// (when there is one) differs from channel 0, so that swapped or mixed
// channels show in a comparison.
#pragma once

#include <cstdint>
#include <vector>

// A sine of frequencyHz; channel 1 at 1.5 times the frequency.
std::vector<std::int16_t> MakeToneSignal(std::int32_t channelCount, std::int32_t sampleRate,
                                         std::int32_t samplesPerChannel, double frequencyHz,
                                         std::int32_t amplitude);

// A logarithmic sweep from startHz to endHz; channel 1 sweeps the other way.
std::vector<std::int16_t> MakeSweepSignal(std::int32_t channelCount, std::int32_t sampleRate,
                                          std::int32_t samplesPerChannel, double startHz,
                                          double endHz, std::int32_t amplitude);

// Uniform pseudo-random noise, the same for the same seed on every platform.
std::vector<std::int16_t> MakeNoiseSignal(std::int32_t channelCount, std::int32_t samplesPerChannel,
                                          std::int32_t amplitude, std::uint32_t seed);
