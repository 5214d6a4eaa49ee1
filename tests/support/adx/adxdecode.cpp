// adxdecode: decodes an ADX stream with the ADX core alone into a WAV file,
// along the sequence of samples a player produces: an optional start block
// with its preroll, an optional end, and loop passes. The golden PCM for
// tests of whole playback chains. Run with --help for usage.
#include "WavFile.h"
#include "adx/AdxDecoder.h"
#include "adx/AdxHeader.h"
#include "parser/StreamPlanner.h"
#include "parser/PlannedReader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "usage: adxdecode [options] INPUT.adx OUTPUT.wav\n"
                      "\n"
                      "Decodes the ADX stream in INPUT.adx into a 16-bit PCM WAV file, sample by\n"
                      "sample as one continuous prediction: every sample is predicted from the\n"
                      "two samples output (or prerolled) before it, also across a loop jump.\n"
                      "\n"
                      "  --offset N           the stream starts at byte N of INPUT.adx\n"
                      "  --start-block B      the output begins with block B (default 0)\n"
                      "  --preroll-blocks P   first decode the P blocks before block B from the\n"
                      "                       stream's initial history, without output (as a\n"
                      "                       player does after a seek)\n"
                      "  --end-sample S       stop as a stop position does: the stream ends\n"
                      "                       with the block that holds sample S - 1\n"
                      "  --loop N             play loop N as the parser plays it: a pass ends at\n"
                      "                       the loop end (endSample + 32 - endTrim), the\n"
                      "                       stream's last sample or the end of the loop's\n"
                      "                       range, whichever comes first; every further pass\n"
                      "                       runs from the loop start (the block at startByte,\n"
                      "                       from startTrim on)\n"
                      "  --passes K           passes in all, with --loop (default 1)\n"
                      "  --help               show this text\n"
                      "\n"
                      "Exit status: 0 on success, 1 on a usage error or a failure.\n";

struct CommandLine {
    std::string inputPath;
    std::string outputPath;
    long long offset = 0;
    long long startBlock = 0;
    long long prerollBlocks = 0;
    long long endSample = -1;
    long long loopIndex = -1;
    long long passes = 1;
};

bool ParseInteger(const char* text, long long maximum, long long& value) {
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || parsed < 0 || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

// Returns 0 to go on, 1 for a usage error, 2 when --help was answered.
int ParseCommandLine(int argc, char** argv, CommandLine& line) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return 2;
        }
        if (option.rfind("--", 0) != 0) {
            paths.push_back(option);
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "adxdecode: %s needs a value\n", option.c_str());
            return 1;
        }
        const char* value = argv[++i];
        long long* target = nullptr;
        if (option == "--offset") {
            target = &line.offset;
        } else if (option == "--start-block") {
            target = &line.startBlock;
        } else if (option == "--preroll-blocks") {
            target = &line.prerollBlocks;
        } else if (option == "--end-sample") {
            target = &line.endSample;
        } else if (option == "--loop") {
            target = &line.loopIndex;
        } else if (option == "--passes") {
            target = &line.passes;
        } else {
            std::fprintf(stderr, "adxdecode: unknown option %s (see --help)\n", option.c_str());
            return 1;
        }
        if (!ParseInteger(value, 0x7FFFFFFF, *target)) {
            std::fprintf(stderr, "adxdecode: bad value for %s: %s\n", option.c_str(), value);
            return 1;
        }
    }
    if (paths.size() != 2) {
        std::fputs("adxdecode: give one input and one output file (see --help)\n", stderr);
        return 1;
    }
    line.inputPath = paths[0];
    line.outputPath = paths[1];
    return 0;
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::uint8_t buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// The decoder state of one stream: its frames and the running histories.
class SequenceDecoder {
public:
    SequenceDecoder(const AdxHeader& header, const std::uint8_t* frames, long long frameCount)
        : header_(header), frames_(frames), frameCount_(frameCount) {
        ResetHistory();
    }

    void ResetHistory() {
        // Version 4 headers carry the starting history; version 3 starts at 0.
        history_[0].prev1 = static_cast<std::int16_t>(header_.extraWords[0]);
        history_[0].prev2 = static_cast<std::int16_t>(header_.extraWords[1]);
        history_[1].prev1 = static_cast<std::int16_t>(header_.extraWords[2]);
        history_[1].prev2 = static_cast<std::int16_t>(header_.extraWords[3]);
    }

    // Decodes samples [first, end) of the stream after the samples decoded
    // so far; appends them to `out` unless `discard`. False when the range
    // runs past the frames or a block is bad.
    bool Decode(long long first, long long end, bool discard, std::vector<std::int16_t>& out) {
        const int channels = header_.channelCount;
        std::int16_t scratch[2 * kAdxBlockSamples];
        for (long long sample = first; sample < end;) {
            const long long frame = sample / kAdxBlockSamples;
            if (frame >= frameCount_) {
                return false;
            }
            const std::int32_t from = static_cast<std::int32_t>(sample % kAdxBlockSamples);
            const long long frameEnd = (frame + 1) * kAdxBlockSamples;
            const std::int32_t to = static_cast<std::int32_t>((end < frameEnd ? end : frameEnd) -
                                                              frame * kAdxBlockSamples);
            const std::uint8_t* input = frames_ + frame * kAdxBlockBytes * channels;
            std::int32_t produced = 0;
            const AdxDecodeStatus status =
                channels == 2
                    ? DecodePartialFrameStereo(scratch, input, from, to, history_[0], history_[1],
                                               static_cast<std::int16_t>(header_.coef1),
                                               static_cast<std::int16_t>(header_.coef2), produced)
                    : DecodePartialFrameMono(scratch, input, from, to, history_[0],
                                             static_cast<std::int16_t>(header_.coef1),
                                             static_cast<std::int16_t>(header_.coef2), produced);
            if (status != kAdxDecodeOk) {
                return false;
            }
            if (!discard) {
                out.insert(out.end(), scratch, scratch + produced / 2);
            }
            sample = frame * kAdxBlockSamples + to;
        }
        return true;
    }

private:
    const AdxHeader& header_;
    const std::uint8_t* frames_;
    long long frameCount_;
    AdxChannelHistory history_[2];
};

} // namespace

int main(int argc, char** argv) {
    CommandLine line;
    const int parsed = ParseCommandLine(argc, argv, line);
    if (parsed != 0) {
        return parsed == 2 ? 0 : 1;
    }
    std::vector<std::uint8_t> file;
    if (!ReadFile(line.inputPath, file)) {
        std::fprintf(stderr, "adxdecode: %s: %s\n", line.inputPath.c_str(), std::strerror(errno));
        return 1;
    }
    if (line.offset + kAdxPrefixBytes > static_cast<long long>(file.size())) {
        std::fprintf(stderr, "adxdecode: %s: no stream at byte %lld\n", line.inputPath.c_str(),
                     line.offset);
        return 1;
    }
    const std::uint8_t* stream = file.data() + line.offset;
    const long long streamBytes = static_cast<long long>(file.size()) - line.offset;
    const std::optional<std::int32_t> headerLength = AdxHeaderLength(stream);
    AdxHeader header;
    if (!headerLength || *headerLength > streamBytes ||
        ParseAdxHeader(*headerLength, stream, header) != kAdxHeaderAccepted ||
        header.blockSize != kAdxBlockBytes || header.samplesPerBlock != kAdxBlockSamples ||
        (header.channelCount != 1 && header.channelCount != 2)) {
        std::fprintf(stderr, "adxdecode: %s: not an ADX stream of 18-byte blocks\n",
                     line.inputPath.c_str());
        return 1;
    }
    const long long frameBytes = static_cast<long long>(kAdxBlockBytes) * header.channelCount;
    const long long frameCount = (streamBytes - header.dataOffset) / frameBytes;
    SequenceDecoder decoder(header, stream + header.dataOffset, frameCount);

    // The parser's own sequencing decides which samples play: the stream is
    // read as the pull reader reads it, and every planned sample is decoded.
    StreamPlanner planner;
    planner.SetStream(header);
    if (line.loopIndex >= 0 && !planner.SetLoop(static_cast<std::int32_t>(line.loopIndex), true)) {
        std::fprintf(stderr, "adxdecode: %s: no loop %lld\n", line.inputPath.c_str(),
                     line.loopIndex);
        return 1;
    }
    const StreamGeometry& geometry = planner.Geometry();
    PlannedReader reader(planner, streamBytes, 65536, geometry.DefaultBufferBytes());
    std::int64_t stopByte = StreamGeometry::kMaxStreamBytes;
    if (line.endSample >= 0) {
        // A stop reads up to the frame that holds sample S - 1.
        stopByte = header.dataOffset +
                   (line.endSample + kAdxBlockSamples - 1) / kAdxBlockSamples * frameBytes;
        reader.SetStop(stopByte);
    }
    if (line.startBlock > 0 || line.prerollBlocks > 0) {
        planner.SetStart(header.dataOffset + line.startBlock * frameBytes);
        const long long prerollBlock =
            line.startBlock > line.prerollBlocks ? line.startBlock - line.prerollBlocks : 0;
        reader.Range(header.dataOffset + prerollBlock * frameBytes, stopByte);
    } else {
        reader.Range(0, stopByte);
    }
    std::vector<std::int16_t> samples;
    bool ok = true;
    const auto decode = [&](const StreamPlanner::Sample& planned, std::int64_t) {
        if (planned.preroll && planned.discontinuity) {
            decoder.ResetHistory(); // a start's preroll decodes from the initial history
        }
        ok = ok && decoder.Decode(planned.mediaStart, planned.mediaEnd, planned.preroll, samples);
    };
    const long long passes = line.loopIndex >= 0 ? line.passes : 1;
    while (ok && reader.Jumps() < passes && reader.Step(decode)) {
    }
    if (!ok) {
        std::fprintf(stderr, "adxdecode: %s: a range runs past the stream or a block is bad\n",
                     line.inputPath.c_str());
        return 1;
    }
    WavAudio audio{header.channelCount, header.sampleRate, std::move(samples)};
    std::string error;
    if (!WriteWavFile(line.outputPath, audio, error)) {
        std::fprintf(stderr, "adxdecode: %s: %s\n", line.outputPath.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
