#include "TestSignal.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::int16_t ToSample(double value) {
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

std::size_t SampleCount(std::int32_t channelCount, std::int32_t samplesPerChannel) {
    return static_cast<std::size_t>(std::max(channelCount, 0)) *
           static_cast<std::size_t>(std::max(samplesPerChannel, 0));
}

} // namespace

std::vector<std::int16_t> MakeToneSignal(std::int32_t channelCount, std::int32_t sampleRate,
                                         std::int32_t samplesPerChannel, double frequencyHz,
                                         std::int32_t amplitude) {
    std::vector<std::int16_t> samples(SampleCount(channelCount, samplesPerChannel));
    for (std::int32_t i = 0; i < samplesPerChannel; ++i) {
        for (std::int32_t channel = 0; channel < channelCount; ++channel) {
            const double frequency = frequencyHz * (channel == 0 ? 1.0 : 1.5);
            samples[static_cast<std::size_t>(i) * channelCount + channel] =
                ToSample(amplitude * std::sin(kTwoPi * frequency * i / sampleRate));
        }
    }
    return samples;
}

std::vector<std::int16_t> MakeSweepSignal(std::int32_t channelCount, std::int32_t sampleRate,
                                          std::int32_t samplesPerChannel, double startHz,
                                          double endHz, std::int32_t amplitude) {
    std::vector<std::int16_t> samples(SampleCount(channelCount, samplesPerChannel));
    const double seconds = static_cast<double>(samplesPerChannel) / sampleRate;
    for (std::int32_t channel = 0; channel < channelCount; ++channel) {
        const double from = channel == 0 ? startHz : endHz;
        const double to = channel == 0 ? endHz : startHz;
        const double rate = std::log(to / from) / seconds;
        for (std::int32_t i = 0; i < samplesPerChannel; ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            // Phase of an exponential sweep: the integral of from * e^(rate t).
            const double phase =
                rate == 0.0 ? kTwoPi * from * t : kTwoPi * from * (std::exp(rate * t) - 1.0) / rate;
            samples[static_cast<std::size_t>(i) * channelCount + channel] =
                ToSample(amplitude * std::sin(phase));
        }
    }
    return samples;
}

std::vector<std::int16_t> MakeNoiseSignal(std::int32_t channelCount, std::int32_t samplesPerChannel,
                                          std::int32_t amplitude, std::uint32_t seed) {
    std::vector<std::int16_t> samples(SampleCount(channelCount, samplesPerChannel));
    std::uint32_t state = seed;
    for (std::int16_t& sample : samples) {
        state = state * 1664525u + 1013904223u;
        const double unit = static_cast<double>(state >> 8) / 16777216.0 * 2.0 - 1.0;
        sample = ToSample(unit * amplitude);
    }
    return samples;
}
