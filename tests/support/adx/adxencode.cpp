// adxencode: writes ADX fixture and demo files. Run with --help for usage.
#include "adx/AdxEncoder.h"
#include "TestSignal.h"
#include "WavFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: adxencode [options] OUTPUT.adx\n"
    "\n"
    "Encodes a synthesised signal (or a 16-bit PCM WAV file) as a 4-bit ADX\n"
    "stream with 18-byte blocks and writes it to OUTPUT.adx.\n"
    "\n"
    "Signal:\n"
    "  --signal KIND         tone (default), sweep, noise or silence\n"
    "  --channels N          1 (default) or 2; channel 1 differs from channel 0\n"
    "  --rate HZ             sample rate (default 44100)\n"
    "  --samples N           samples per channel (default: one second)\n"
    "  --seconds S           length in seconds instead of --samples\n"
    "  --frequency HZ        tone frequency, sweep start (default 440)\n"
    "  --end-frequency HZ    sweep end (default 8000)\n"
    "  --amplitude A         peak amplitude 0..32767 (default 16000)\n"
    "  --seed N              noise seed (default 1)\n"
    "  --input FILE.wav      encode this 16-bit PCM WAV instead; its channel\n"
    "                        count (1 or 2) and rate are used\n"
    "\n"
    "Header:\n"
    "  --version 3|4         3 (default): loop table at 0x14; 4: four initial\n"
    "                        history words at 0x18 and loop table at 0x20\n"
    "  --cutoff HZ           high-pass cutoff written to the header (default 500)\n"
    "  --history P1,P2[,P1,P2]\n"
    "                        version 4: initial history of channel 0 (and 1)\n"
    "  --loop START:END      add a loop record for samples START..END (per\n"
    "                        channel): byte offsets of the frames holding START\n"
    "                        and END, start trim START mod 32, end trim 0;\n"
    "                        may be repeated\n"
    "  --loop-start S, --loop-end S\n"
    "                        one loop record as --loop, given in seconds (a\n"
    "                        missing one is the start or the end of the\n"
    "                        stream); it comes before the --loop records\n"
    "  --loop-record SS:SB:ST:ES:EB:ET\n"
    "                        add a loop record with these startSample,\n"
    "                        startByte, startTrim, endSample, endByte, endTrim\n"
    "                        (byte offsets from the start of the stream)\n"
    "  --header-length L     header length, where the first frame starts\n"
    "                        (default: the smallest that holds the loop table\n"
    "                        and the \"(c)CRI\" marker)\n"
    "\n"
    "File:\n"
    "  --offset N            write N filler bytes before the stream (the stream\n"
    "                        then starts at byte N of the file)\n"
    "  --trailer N           write N filler bytes after the stream\n"
    "  --reference FILE.wav  also write the PCM that a correct decoder makes of\n"
    "                        the stream (totalSamples per channel)\n"
    "  --help                show this text\n"
    "\n"
    "Exit status: 0 on success, 1 on a usage error or a failure.\n";

struct CommandLine {
    std::string signal = "tone";
    std::int32_t channelCount = 1;
    std::int32_t sampleRate = 44100;
    long long samplesPerChannel = -1;
    double seconds = -1.0;
    double frequency = 440.0;
    double endFrequency = 8000.0;
    std::int32_t amplitude = 16000;
    std::uint32_t seed = 1;
    std::string inputPath;
    std::string outputPath;
    std::string referencePath;
    long long offsetBytes = 0;
    long long trailerBytes = 0;
    AdxEncoderOptions options;
    std::vector<std::pair<std::int32_t, std::int32_t>> loopRanges;
    double loopStartSeconds = -1.0;
    double loopEndSeconds = -1.0;
};

bool ParseInteger(const char* text, long long minimum, long long maximum, long long& value) {
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || parsed < minimum || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseNumber(const char* text, double minimum, double maximum, double& value) {
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(parsed >= minimum && parsed <= maximum)) {
        return false;
    }
    value = parsed;
    return true;
}

// Splits "a:b:c" (or "a,b") into integers; exactly count of them.
bool ParseIntegerList(const char* text, char separator, std::size_t count, long long minimum,
                      long long maximum, std::vector<long long>& values) {
    values.clear();
    std::string rest = text;
    for (;;) {
        const std::size_t at = rest.find(separator);
        long long value = 0;
        if (!ParseInteger(rest.substr(0, at).c_str(), minimum, maximum, value)) {
            return false;
        }
        values.push_back(value);
        if (at == std::string::npos) {
            break;
        }
        rest.erase(0, at + 1);
    }
    return values.size() == count;
}

// Returns 0 to go on, 1 for a usage error, 2 when --help was answered.
int ParseCommandLine(int argc, char** argv, CommandLine& line) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 2;
        }
        if (option.rfind("--", 0) != 0) {
            if (!line.outputPath.empty()) {
                std::fprintf(stderr, "adxencode: more than one output file: %s\n", argv[i]);
                return 1;
            }
            line.outputPath = option;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "adxencode: %s needs a value\n", option.c_str());
            return 1;
        }
        const char* value = argv[++i];
        long long integer = 0;
        std::vector<long long> list;
        bool ok = true;
        if (option == "--signal") {
            line.signal = value;
            ok = line.signal == "tone" || line.signal == "sweep" || line.signal == "noise" ||
                 line.signal == "silence";
        } else if (option == "--channels") {
            ok = ParseInteger(value, 1, 2, integer);
            line.channelCount = static_cast<std::int32_t>(integer);
        } else if (option == "--rate") {
            ok = ParseInteger(value, 1, 0x7FFFFFFF, integer);
            line.sampleRate = static_cast<std::int32_t>(integer);
        } else if (option == "--samples") {
            ok = ParseInteger(value, 0, 0x7FFFFFFF, line.samplesPerChannel);
        } else if (option == "--seconds") {
            ok = ParseNumber(value, 0.0, 86400.0, line.seconds);
        } else if (option == "--frequency") {
            ok = ParseNumber(value, 0.001, 1e6, line.frequency);
        } else if (option == "--end-frequency") {
            ok = ParseNumber(value, 0.001, 1e6, line.endFrequency);
        } else if (option == "--amplitude") {
            ok = ParseInteger(value, 0, 32767, integer);
            line.amplitude = static_cast<std::int32_t>(integer);
        } else if (option == "--seed") {
            ok = ParseInteger(value, 0, 0xFFFFFFFF, integer);
            line.seed = static_cast<std::uint32_t>(integer);
        } else if (option == "--input") {
            line.inputPath = value;
        } else if (option == "--version") {
            ok = ParseInteger(value, 3, 4, integer);
            line.options.version = static_cast<std::int32_t>(integer);
        } else if (option == "--cutoff") {
            ok = ParseInteger(value, 0, 0xFFFF, integer);
            line.options.cutoffFrequency = static_cast<std::int32_t>(integer);
        } else if (option == "--history") {
            ok = ParseIntegerList(value, ',', 2, -32768, 32767, list) ||
                 ParseIntegerList(value, ',', 4, -32768, 32767, list);
            for (std::size_t k = 0; ok && k < list.size(); ++k) {
                line.options.initialHistory[k] = static_cast<std::int16_t>(list[k]);
            }
        } else if (option == "--loop") {
            ok = ParseIntegerList(value, ':', 2, 0, 0x7FFFFFFF, list) && list[0] <= list[1];
            if (ok) {
                line.loopRanges.emplace_back(static_cast<std::int32_t>(list[0]),
                                             static_cast<std::int32_t>(list[1]));
            }
        } else if (option == "--loop-start") {
            ok = ParseNumber(value, 0.0, 86400.0, line.loopStartSeconds);
        } else if (option == "--loop-end") {
            ok = ParseNumber(value, 0.0, 86400.0, line.loopEndSeconds);
        } else if (option == "--loop-record") {
            ok = ParseIntegerList(value, ':', 6, -0x80000000LL, 0xFFFFFFFFLL, list) &&
                 list[2] >= 0 && list[2] <= 255 && list[5] >= 0 && list[5] <= 255;
            if (ok) {
                AdxLoopPoint loop;
                loop.startSample = static_cast<std::int32_t>(list[0]);
                loop.startByte = static_cast<std::int32_t>(list[1]);
                loop.startTrim = static_cast<std::int32_t>(list[2]);
                loop.endSample = static_cast<std::int32_t>(list[3]);
                loop.endByte = static_cast<std::int32_t>(list[4]);
                loop.endTrim = static_cast<std::int32_t>(list[5]);
                line.options.loops.push_back(loop);
            }
        } else if (option == "--header-length") {
            ok = ParseInteger(value, 0x1A, 0xFFFFFF + 4, integer);
            line.options.headerLength = static_cast<std::int32_t>(integer);
        } else if (option == "--offset") {
            ok = ParseInteger(value, 0, 1LL << 32, line.offsetBytes);
        } else if (option == "--trailer") {
            ok = ParseInteger(value, 0, 1LL << 32, line.trailerBytes);
        } else if (option == "--reference") {
            line.referencePath = value;
        } else {
            std::fprintf(stderr, "adxencode: unknown option %s (see --help)\n", option.c_str());
            return 1;
        }
        if (!ok) {
            std::fprintf(stderr, "adxencode: bad value for %s: %s\n", option.c_str(), value);
            return 1;
        }
    }
    if (line.outputPath.empty()) {
        std::fputs("adxencode: no output file (see --help)\n", stderr);
        return 1;
    }
    return 0;
}

bool MakeSignal(CommandLine& line, std::vector<std::int16_t>& samples) {
    if (!line.inputPath.empty()) {
        WavAudio audio;
        std::string error;
        if (!ReadWavFile(line.inputPath, audio, error)) {
            std::fprintf(stderr, "adxencode: %s: %s\n", line.inputPath.c_str(), error.c_str());
            return false;
        }
        if (audio.channelCount != 1 && audio.channelCount != 2) {
            std::fprintf(stderr, "adxencode: %s: only 1 or 2 channels can be encoded\n",
                         line.inputPath.c_str());
            return false;
        }
        line.channelCount = audio.channelCount;
        line.sampleRate = audio.sampleRate;
        samples = std::move(audio.samples);
        return true;
    }
    long long count = line.sampleRate;
    if (line.samplesPerChannel >= 0) {
        count = line.samplesPerChannel;
    } else if (line.seconds >= 0.0) {
        count = static_cast<long long>(line.seconds * line.sampleRate);
    }
    if (count > 0x7FFFFFFF / 2) {
        std::fputs("adxencode: the signal is too long\n", stderr);
        return false;
    }
    const std::int32_t samplesPerChannel = static_cast<std::int32_t>(count);
    if (line.signal == "tone") {
        samples = MakeToneSignal(line.channelCount, line.sampleRate, samplesPerChannel,
                                 line.frequency, line.amplitude);
    } else if (line.signal == "sweep") {
        samples = MakeSweepSignal(line.channelCount, line.sampleRate, samplesPerChannel,
                                  line.frequency, line.endFrequency, line.amplitude);
    } else if (line.signal == "noise") {
        samples = MakeNoiseSignal(line.channelCount, samplesPerChannel, line.amplitude, line.seed);
    } else {
        samples.assign(static_cast<std::size_t>(samplesPerChannel) * line.channelCount, 0);
    }
    return true;
}

// Filler that never starts an ADX prefix (no 0x80 byte).
bool WriteFiller(std::FILE* file, long long byteCount) {
    char buffer[4096];
    for (std::size_t i = 0; i < sizeof(buffer); ++i) {
        buffer[i] = static_cast<char>('a' + i % 26);
    }
    while (byteCount > 0) {
        const std::size_t chunk = byteCount < static_cast<long long>(sizeof(buffer))
                                      ? static_cast<std::size_t>(byteCount)
                                      : sizeof(buffer);
        if (std::fwrite(buffer, 1, chunk, file) != chunk) {
            return false;
        }
        byteCount -= static_cast<long long>(chunk);
    }
    return true;
}

bool WriteOutput(const CommandLine& line, const AdxEncodedStream& stream) {
    std::FILE* file = std::fopen(line.outputPath.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "adxencode: %s: %s\n", line.outputPath.c_str(), std::strerror(errno));
        return false;
    }
    bool ok =
        WriteFiller(file, line.offsetBytes) &&
        std::fwrite(stream.bytes.data(), 1, stream.bytes.size(), file) == stream.bytes.size() &&
        WriteFiller(file, line.trailerBytes);
    if (std::fclose(file) != 0) {
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "adxencode: %s: write error\n", line.outputPath.c_str());
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    CommandLine line;
    const int parsed = ParseCommandLine(argc, argv, line);
    if (parsed != 0) {
        return parsed == 2 ? 0 : 1;
    }
    std::vector<std::int16_t> samples;
    if (!MakeSignal(line, samples)) {
        return 1;
    }
    line.options.channelCount = line.channelCount;
    line.options.sampleRate = line.sampleRate;
    if (line.loopStartSeconds >= 0.0 || line.loopEndSeconds >= 0.0) {
        const long long totalSamples = static_cast<long long>(samples.size()) / line.channelCount;
        const long long start =
            line.loopStartSeconds < 0.0 ? 0 : std::llround(line.loopStartSeconds * line.sampleRate);
        const long long end = line.loopEndSeconds < 0.0
                                  ? totalSamples
                                  : std::llround(line.loopEndSeconds * line.sampleRate);
        if (start > end || end > 0x7FFFFFFF) {
            std::fputs("adxencode: the loop ends before it starts\n", stderr);
            return 1;
        }
        line.loopRanges.insert(line.loopRanges.begin(),
                               {static_cast<std::int32_t>(start), static_cast<std::int32_t>(end)});
    }
    // Loop records by sample range need the header length, which the number
    // of records fixes: add them first, then fill them in.
    const std::size_t firstRange = line.options.loops.size();
    line.options.loops.resize(firstRange + line.loopRanges.size());
    const std::int32_t headerLength = AdxEncoder(line.options).HeaderLength();
    if (headerLength == 0) {
        std::fputs("adxencode: the header options do not fit together (is --header-length "
                   "large enough for the loop records?)\n",
                   stderr);
        return 1;
    }
    for (std::size_t i = 0; i < line.loopRanges.size(); ++i) {
        line.options.loops[firstRange + i] = AdxEncoder::MakeLoopPoint(
            line.loopRanges[i].first, line.loopRanges[i].second, headerLength, line.channelCount);
    }

    AdxEncodedStream stream;
    const AdxEncodeStatus status = AdxEncoder(line.options).Encode(samples, stream);
    if (status != AdxEncodeStatus::kOk) {
        std::fprintf(stderr, "adxencode: cannot encode: %s\n", AdxEncoder::StatusText(status));
        return 1;
    }
    if (!WriteOutput(line, stream)) {
        return 1;
    }
    if (!line.referencePath.empty()) {
        WavAudio reference{line.channelCount, line.sampleRate, stream.decoded};
        std::string error;
        if (!WriteWavFile(line.referencePath, reference, error)) {
            std::fprintf(stderr, "adxencode: %s: %s\n", line.referencePath.c_str(), error.c_str());
            return 1;
        }
    }
    return 0;
}
