// adx_encode_wav: encodes a 16-bit PCM WAV file with the project's encoder,
// for bench/encoder-vs-ffmpeg.sh until a product command takes its place.
// usage: adx_encode_wav INPUT.wav OUTPUT.adx [THREADS [thorough]]
// Exit status: 0 on success, 1 on a failure.
#include "WavFile.h"
#include "adx/AdxEncoder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fputs("usage: adx_encode_wav INPUT.wav OUTPUT.adx [THREADS [thorough]]\n", stderr);
        return 1;
    }
    WavAudio audio;
    std::string error;
    if (!ReadWavFile(argv[1], audio, error)) {
        std::fprintf(stderr, "adx_encode_wav: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    AdxEncoderOptions options;
    options.channelCount = audio.channelCount;
    options.sampleRate = audio.sampleRate;
    options.threadCount = argc >= 4 ? std::atoi(argv[3]) : 0;
    options.thorough = argc == 5 && std::string(argv[4]) == "thorough";
    options.fillDecoded = false;
    AdxEncodedStream stream;
    const AdxEncodeStatus status = AdxEncoder(options).Encode(audio.samples, stream);
    if (status != AdxEncodeStatus::kOk) {
        std::fprintf(stderr, "adx_encode_wav: %s: %s\n", argv[1], AdxEncoder::StatusText(status));
        return 1;
    }
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "adx_encode_wav: %s: cannot create\n", argv[2]);
        return 1;
    }
    const bool written =
        std::fwrite(stream.bytes.data(), 1, stream.bytes.size(), file) == stream.bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "adx_encode_wav: %s: write failed\n", argv[2]);
        return 1;
    }
    return 0;
}
