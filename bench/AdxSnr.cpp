// adx_snr: the signal-to-noise ratio of a decoded stream against its input,
// in dB over every sample of every channel (the shorter length counts; the
// padding of a stream's last frame is left out that way).
// usage: adx_snr INPUT.wav DECODED.wav|STREAM.adx
// An .adx is decoded straight through with the project's decoder.
// Prints the ratio with two decimals. Exit status: 0 on success, 1 on a failure.
#include "WavFile.h"
#include "adx/AdxDecoder.h"
#include "adx/AdxHeader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool DecodeAdxFile(const std::string& path, WavAudio& audio, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    const std::optional<std::int32_t> headerLength =
        bytes.size() >= kAdxPrefixBytes ? AdxHeaderLength(bytes.data()) : std::nullopt;
    AdxHeader header;
    if (!headerLength || *headerLength > static_cast<std::int64_t>(bytes.size()) ||
        ParseAdxHeader(*headerLength, bytes.data(), header) != kAdxHeaderAccepted ||
        header.channelCount < 1 || header.channelCount > 2 || header.blockSize != kAdxBlockBytes) {
        error = "not an ADX stream this decoder plays";
        return false;
    }
    const std::size_t frameBytes = kAdxBlockBytes * static_cast<std::size_t>(header.channelCount);
    const std::int32_t frameCount =
        static_cast<std::int32_t>((bytes.size() - header.dataOffset) / frameBytes);
    audio.channelCount = header.channelCount;
    audio.sampleRate = header.sampleRate;
    audio.samples.assign(
        static_cast<std::size_t>(frameCount) * kAdxBlockSamples * header.channelCount, 0);
    std::array<AdxChannelHistory, 2> history{};
    for (std::size_t channel = 0; channel < 2; ++channel) {
        history[channel] = {static_cast<std::int16_t>(header.extraWords[2 * channel]),
                            static_cast<std::int16_t>(header.extraWords[2 * channel + 1])};
    }
    std::int32_t produced = 0;
    const AdxDecodeStatus status =
        header.channelCount == 1
            ? DecodeFramesMono(audio.samples.data(), bytes.data() + header.dataOffset, frameCount,
                               history[0], static_cast<std::int16_t>(header.coef1),
                               static_cast<std::int16_t>(header.coef2), produced)
            : DecodeFramesStereo(audio.samples.data(), bytes.data() + header.dataOffset, frameCount,
                                 history[0], history[1], static_cast<std::int16_t>(header.coef1),
                                 static_cast<std::int16_t>(header.coef2), produced);
    if (status != kAdxDecodeOk) {
        error = "a block does not decode";
        return false;
    }
    audio.samples.resize(std::min(
        audio.samples.size(), static_cast<std::size_t>(header.totalSamples) * header.channelCount));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: adx_snr INPUT.wav DECODED.wav|STREAM.adx\n", stderr);
        return 1;
    }
    WavAudio input;
    WavAudio output;
    std::string error;
    if (!ReadWavFile(argv[1], input, error)) {
        std::fprintf(stderr, "adx_snr: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::string other = argv[2];
    const bool isAdx = other.size() > 4 && other.compare(other.size() - 4, 4, ".adx") == 0;
    if (!(isAdx ? DecodeAdxFile(other, output, error) : ReadWavFile(other, output, error))) {
        std::fprintf(stderr, "adx_snr: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    if (input.channelCount != output.channelCount) {
        std::fputs("adx_snr: the channel counts differ\n", stderr);
        return 1;
    }
    const std::size_t count = std::min(input.samples.size(), output.samples.size());
    double signalPower = 0;
    double noisePower = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double error = static_cast<double>(input.samples[i]) - output.samples[i];
        signalPower += static_cast<double>(input.samples[i]) * input.samples[i];
        noisePower += error * error;
    }
    std::printf("%.2f\n", 10.0 * std::log10(signalPower / std::max(noisePower, 1.0)));
    return 0;
}
