// Whole-frame ADX decoding speed, mono and stereo, in samples per second,
// next to a straightforward one-sample-at-a-time decoder. Before measuring,
// the program checks that both decoders produce identical output.
#include "adx/AdxDecoder.h"

#include "adx/AdxEncoder.h"
#include "TestSignal.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::int32_t kFramesPerCall = 512; // the most the decoder filter passes at once
constexpr std::int16_t kCoef1 = 7334;        // 44100 Hz, 500 Hz cutoff
constexpr std::int16_t kCoef2 = -3283;

// Real encoded audio: a sweep under some noise, so that scales vary from
// block to block and the output saturates about as rarely as music does.
std::vector<std::uint8_t> MakeFrames(std::int32_t frameCount, std::int32_t channelCount) {
    const std::int32_t samplesPerChannel = frameCount * kAdxBlockSamples;
    std::vector<std::int16_t> signal =
        MakeSweepSignal(channelCount, 44100, samplesPerChannel, 40.0, 16000.0, 20000);
    const std::vector<std::int16_t> noise =
        MakeNoiseSignal(channelCount, samplesPerChannel, 2000, 7);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        signal[i] = static_cast<std::int16_t>(signal[i] + noise[i]);
    }
    AdxEncoderOptions options;
    options.channelCount = channelCount;
    AdxEncodedStream stream;
    if (AdxEncoder(options).Encode(signal, stream) != AdxEncodeStatus::kOk) {
        std::fprintf(stderr, "cannot encode the benchmark's input\n");
        std::exit(1);
    }
    return std::vector<std::uint8_t>(stream.bytes.begin() + stream.headerLength,
                                     stream.bytes.end());
}

// The straightforward decoder: each channel's block in turn, one sample at a
// time, its code looked up by index.
AdxDecodeStatus ReferenceDecodeFrames(std::int16_t* output, const std::uint8_t* input,
                                      std::int32_t frameCount, std::int32_t channelCount,
                                      AdxChannelHistory* histories, std::int16_t coef1,
                                      std::int16_t coef2) {
    AdxChannelHistory working[2] = {histories[0], channelCount == 2 ? histories[1] : histories[0]};
    for (std::int32_t frame = 0; frame < frameCount; ++frame) {
        for (std::int32_t channel = 0; channel < channelCount; ++channel) {
            const std::uint8_t* block = input + (frame * channelCount + channel) * kAdxBlockBytes;
            const std::uint32_t scaleWord = (std::uint32_t{block[0]} << 8) | block[1];
            if (scaleWord & 0x8000) {
                return kAdxDecodeScaleBit15;
            }
            const std::int32_t multiplier = static_cast<std::int32_t>((scaleWord + 1) & 0x1FFF);
            AdxChannelHistory& history = working[channel];
            for (std::int32_t i = 0; i < kAdxBlockSamples; ++i) {
                const std::uint8_t codeByte = block[2 + i / 2];
                std::int32_t code = i % 2 == 0 ? codeByte >> 4 : codeByte & 0xF;
                if (code >= 8) {
                    code -= 16;
                }
                const std::int32_t prediction =
                    (coef1 * history.prev1 + coef2 * history.prev2) >> 12;
                std::int32_t value = code * multiplier + prediction;
                if (value > 32767) {
                    value = 32767;
                } else if (value < -32768) {
                    value = -32768;
                }
                history.prev2 = history.prev1;
                history.prev1 = static_cast<std::int16_t>(value);
                output[(frame * kAdxBlockSamples + i) * channelCount + channel] =
                    static_cast<std::int16_t>(value);
            }
        }
    }
    histories[0] = working[0];
    if (channelCount == 2) {
        histories[1] = working[1];
    }
    return kAdxDecodeOk;
}

AdxDecodeStatus FastDecodeFrames(std::int16_t* output, const std::uint8_t* input,
                                 std::int32_t frameCount, std::int32_t channelCount,
                                 AdxChannelHistory* histories, std::int16_t coef1,
                                 std::int16_t coef2) {
    std::int32_t bytesProduced = 0;
    return channelCount == 2 ? DecodeFramesStereo(output, input, frameCount, histories[0],
                                                  histories[1], coef1, coef2, bytesProduced)
                             : DecodeFramesMono(output, input, frameCount, histories[0], coef1,
                                                coef2, bytesProduced);
}

using DecodeFunction = AdxDecodeStatus (*)(std::int16_t*, const std::uint8_t*, std::int32_t,
                                           std::int32_t, AdxChannelHistory*, std::int16_t,
                                           std::int16_t);

void DecodeBenchmark(benchmark::State& state, DecodeFunction decode, std::int32_t channelCount) {
    const std::vector<std::uint8_t> frames = MakeFrames(kFramesPerCall, channelCount);
    std::vector<std::int16_t> output(static_cast<std::size_t>(kFramesPerCall) * 32 * channelCount);
    AdxChannelHistory histories[2] = {};
    for (auto _ : state) {
        if (decode(output.data(), frames.data(), kFramesPerCall, channelCount, histories, kCoef1,
                   kCoef2) != kAdxDecodeOk) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    // Samples of every channel.
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(output.size()));
}

// Both decoders over a long run of frames (histories carried across calls):
// identical samples and histories, or the benchmark does not run.
bool OutputsAreIdentical(std::int32_t channelCount) {
    const std::int32_t calls = 8;
    const std::vector<std::uint8_t> frames = MakeFrames(kFramesPerCall * calls, channelCount);
    const std::size_t samplesPerCall = static_cast<std::size_t>(kFramesPerCall) * 32 * channelCount;
    std::vector<std::int16_t> fast(samplesPerCall * calls), reference(samplesPerCall * calls);
    AdxChannelHistory fastHistories[2] = {{300, -200}, {-1, 1}};
    AdxChannelHistory referenceHistories[2] = {{300, -200}, {-1, 1}};
    for (std::int32_t call = 0; call < calls; ++call) {
        const std::uint8_t* input =
            frames.data() + static_cast<std::size_t>(call) * kFramesPerCall * 18 * channelCount;
        if (FastDecodeFrames(fast.data() + call * samplesPerCall, input, kFramesPerCall,
                             channelCount, fastHistories, kCoef1, kCoef2) != kAdxDecodeOk ||
            ReferenceDecodeFrames(reference.data() + call * samplesPerCall, input, kFramesPerCall,
                                  channelCount, referenceHistories, kCoef1,
                                  kCoef2) != kAdxDecodeOk) {
            std::fprintf(stderr, "%d channels: decoding failed\n", channelCount);
            return false;
        }
    }
    for (std::size_t i = 0; i < fast.size(); ++i) {
        if (fast[i] != reference[i]) {
            std::fprintf(stderr,
                         "%d channels: first mismatch at sample index %zu: %d, expected %d\n",
                         channelCount, i, fast[i], reference[i]);
            return false;
        }
    }
    for (std::int32_t channel = 0; channel < channelCount; ++channel) {
        if (fastHistories[channel].prev1 != referenceHistories[channel].prev1 ||
            fastHistories[channel].prev2 != referenceHistories[channel].prev2) {
            std::fprintf(stderr, "%d channels: histories differ\n", channelCount);
            return false;
        }
    }
    std::printf("%d channel(s): outputs identical over %zu samples\n", channelCount, fast.size());
    return true;
}

} // namespace

BENCHMARK_CAPTURE(DecodeBenchmark, MonoWholeFrames, FastDecodeFrames, 1);
BENCHMARK_CAPTURE(DecodeBenchmark, MonoReferenceLoop, ReferenceDecodeFrames, 1);
BENCHMARK_CAPTURE(DecodeBenchmark, StereoWholeFrames, FastDecodeFrames, 2);
BENCHMARK_CAPTURE(DecodeBenchmark, StereoReferenceLoop, ReferenceDecodeFrames, 2);

int main(int argc, char** argv) {
    if (!OutputsAreIdentical(1) || !OutputsAreIdentical(2)) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
