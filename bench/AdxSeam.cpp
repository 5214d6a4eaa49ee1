// adx_seam: the error around a loop jump against the error elsewhere, on
// real audio. Picks a loop from a quarter of the file to the point between
// 70 % and 90 % whose last two samples best match the two before the loop
// start (as a hand-cut loop would), encodes it with the project's encoder,
// plays three passes as the parser sequences them, and prints the RMS error
// of the first 64 samples after each jump (the seam) and of the first pass
// (the body).
// usage: adx_seam INPUT.wav
// Exit status: 0 on success, 1 on a failure.
#include "LoopPlayer.h"
#include "PcmError.h"
#include "WavFile.h"
#include "adx/AdxEncoder.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The decoder's history is two samples: a jump is seamless for it when the
// two before the loop end match the two before the loop start.
constexpr std::int64_t kMatchSamples = 2;
constexpr std::int64_t kSeamSamples = 64;
constexpr std::int32_t kPasses = 3;

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: adx_seam INPUT.wav\n", stderr);
        return 1;
    }
    WavAudio audio;
    std::string error;
    if (!ReadWavFile(argv[1], audio, error)) {
        std::fprintf(stderr, "adx_seam: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::size_t channels = static_cast<std::size_t>(audio.channelCount);
    const std::int64_t length = static_cast<std::int64_t>(audio.samples.size() / channels);
    if (length < 1000) {
        std::fprintf(stderr, "adx_seam: %s: too short\n", argv[1]);
        return 1;
    }
    const std::int64_t start = length / 4;
    std::int64_t end = 0;
    double bestMatch = -1;
    for (std::int64_t candidate = length * 7 / 10; candidate <= length * 9 / 10; ++candidate) {
        double match = 0;
        for (std::int64_t k = 1; k <= kMatchSamples; ++k) {
            for (std::size_t channel = 0; channel < channels; ++channel) {
                const double difference =
                    static_cast<double>(audio.samples[(candidate - k) * channels + channel]) -
                    audio.samples[(start - k) * channels + channel];
                match += difference * difference;
            }
        }
        if (bestMatch < 0 || match < bestMatch) {
            bestMatch = match;
            end = candidate;
        }
    }
    AdxEncoderOptions options;
    options.channelCount = audio.channelCount;
    options.sampleRate = audio.sampleRate;
    options.sampleLoop = AdxSampleLoop{start, end};
    options.threadCount = 0;
    AdxEncodedStream stream;
    const AdxEncodeStatus status = AdxEncoder(options).Encode(audio.samples, stream);
    if (status != AdxEncodeStatus::kOk) {
        std::fprintf(stderr, "adx_seam: %s: %s\n", argv[1], AdxEncoder::StatusText(status));
        return 1;
    }
    const PlayedPasses played = LoopPlayer::Play(stream.bytes, 0, kPasses);
    const std::size_t bodySamples = static_cast<std::size_t>(end) * channels;
    if (!played.ok || played.passes.size() != kPasses || played.passes[0].size() != bodySamples) {
        std::fprintf(stderr, "adx_seam: %s: the loop does not play as planned\n", argv[1]);
        return 1;
    }
    double seam = 0;
    for (std::int32_t pass = 1; pass < kPasses; ++pass) {
        seam += PcmRmsError(played.passes[pass], audio.samples,
                            static_cast<std::size_t>(start) * channels,
                            static_cast<std::size_t>(kSeamSamples) * channels);
    }
    seam /= kPasses - 1;
    const double body = PcmRmsError(played.passes[0], audio.samples, 0, bodySamples);
    const double firstPassAtStart =
        PcmRmsError(std::vector<std::int16_t>(played.passes[0].begin() +
                                                  static_cast<std::ptrdiff_t>(start * channels),
                                              played.passes[0].end()),
                    audio.samples, static_cast<std::size_t>(start) * channels,
                    static_cast<std::size_t>(kSeamSamples) * channels);
    std::printf(
        "loop %lld..%lld (input mismatch %.1f): seam %.1f, first pass there %.1f, body %.1f, "
        "seam/body %.2f\n",
        static_cast<long long>(start), static_cast<long long>(end),
        std::sqrt(bestMatch / (kMatchSamples * static_cast<double>(channels))), seam,
        firstPassAtStart, body, seam / body);
    return 0;
}
