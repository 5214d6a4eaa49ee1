#include "EncodeOptions.h"

#include "CommandLine.h"
#include "ParseTime.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

const char kEncodeUsageText[] =
    "usage: corvina-encode [options] IN.wav OUT.adx\n"
    "       corvina-encode --adx-dir DIR [options] IN.wav...\n"
    "\n"
    "Encodes a WAV file as a 4-bit ADX stream (18-byte blocks) that corvina\n"
    "plays, with one loop that plays seamlessly. IN.wav may hold PCM of 8, 16,\n"
    "24 or 32 bits or 32-bit float (also as WAVE_FORMAT_EXTENSIBLE), mono or\n"
    "stereo; wider samples are rounded to the nearest 16-bit value (no\n"
    "dither), so a 16-bit file is encoded from exactly its own samples.\n"
    "\n"
    "Loop (without these, the first loop of IN.wav's smpl chunk, if any):\n"
    "  --loop-start TIME   the loop's first sample (default: the stream start)\n"
    "  --loop-end TIME     one past the loop's last sample (default: the\n"
    "                      stream end); TIME: seconds (83.5) or\n"
    "                      [hh:]mm:ss[.frac] (1:23.5), rounded to the nearest\n"
    "                      sample\n"
    "  --loop-samples START:END\n"
    "                      the loop in sample frames, END exclusive\n"
    "  --no-loop           no loop, even if IN.wav has one\n"
    "\n"
    "Stream:\n"
    "  --header-version 3|4\n"
    "                      3 (default): loop table at 0x14; 4: four initial\n"
    "                      history words and the loop table at 0x20\n"
    "  --version4          the same as --header-version 4\n"
    "  --cutoff HZ         high-pass cutoff written to the header, 0 to 65535\n"
    "                      (default 500); it sets the prediction coefficients\n"
    "\n"
    "Files:\n"
    "  --adx-dir DIR       encode every IN.wav into DIR/NAME.adx (NAME: its\n"
    "                      name without the extension); one line per file and\n"
    "                      a total on standard output\n"
    "  -y, --overwrite     replace an existing output file (never the input);\n"
    "                      -f and --force are the same\n"
    "  -j, --jobs N        with --adx-dir, N files at a time; with one file,\n"
    "                      N encoder threads; 0 (the default): every core\n"
    "\n"
    "Other:\n"
    "  -h, --help          show this text\n"
    "  --version           show the release\n"
    "  --                  the arguments after it are files\n"
    "  Values may also follow an equals sign: --cutoff=400.\n"
    "\n"
    "The output appears whole or not at all: it is written to a temporary file\n"
    "beside it and renamed when complete.\n"
    "\n"
    "Exit status:\n"
    "  0    done\n"
    "  1    usage error, including a loop outside the stream or whose end is\n"
    "       not after its start, and an output that exists (without -y), is a\n"
    "       directory or is the input\n"
    "  2    IN.wav refused (missing, unreadable, not a WAV file, truncated, a\n"
    "       sample format or channel count it cannot encode, no samples, more\n"
    "       than 2147483647 samples, a smpl loop outside the stream)\n"
    "  3    failure while writing (the output is removed)\n"
    "  130  stopped by Ctrl+C (the incomplete output is removed)\n"
    "  With --adx-dir, the most serious status of all files.\n";

namespace {

// "START:END" in sample frames, both decimal, START below END.
bool ParseSampleRange(const std::string& text, std::int64_t& start, std::int64_t& end) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() ||
        text.find_first_not_of("0123456789:") != std::string::npos ||
        text.find(':', colon + 1) != std::string::npos || colon > 12 ||
        text.size() - colon - 1 > 12) {
        return false;
    }
    start = std::strtoll(text.c_str(), nullptr, 10);
    end = std::strtoll(text.c_str() + colon + 1, nullptr, 10);
    return true;
}

} // namespace

bool ParseEncodeOptions(const std::vector<std::string>& arguments, EncodeOptions& options,
                        std::string& error) {
    CLI::App app;
    app.set_help_flag(); // --help prints this tool's own text
    std::string loopStart;
    std::string loopEnd;
    std::string loopSamples;
    bool version4 = false;
    app.add_flag("-h,--help", options.help);
    app.add_flag("--version", options.version);
    CLI::Option* start = app.add_option("--loop-start", loopStart);
    CLI::Option* end = app.add_option("--loop-end", loopEnd);
    CLI::Option* samples = app.add_option("--loop-samples", loopSamples);
    CLI::Option* noLoop = app.add_flag("--no-loop", options.noLoop);
    samples->excludes(start)->excludes(end);
    noLoop->excludes(start)->excludes(end)->excludes(samples);
    CLI::Option* headerVersion =
        app.add_option("--header-version", options.headerVersion)->check(CLI::IsMember({3, 4}));
    app.add_flag("--version4", version4)->excludes(headerVersion);
    app.add_option("--cutoff", options.cutoffFrequency)->check(CLI::Range(0, 65535));
    app.add_option("--adx-dir", options.adxDir);
    AddOverwriteFlag(app, options.overwrite);
    app.add_option("-j,--jobs", options.jobs)->check(CLI::Range(0, 1024));
    std::vector<std::string> files;
    app.add_option("files", files);
    if (!ParseArguments(app, WithWindowsHelp(arguments), error)) {
        return false;
    }
    if (options.help || options.version) {
        return true;
    }
    if (version4) {
        options.headerVersion = 4;
    }
    double seconds = 0.0;
    if (start->count() != 0) {
        if (!ParseTime(loopStart, seconds)) {
            error = "bad value for --loop-start: " + loopStart;
            return false;
        }
        options.loopStartSeconds = seconds;
    }
    if (end->count() != 0) {
        if (!ParseTime(loopEnd, seconds)) {
            error = "bad value for --loop-end: " + loopEnd;
            return false;
        }
        options.loopEndSeconds = seconds;
    }
    if (samples->count() != 0) {
        std::int64_t first = 0;
        std::int64_t last = 0;
        if (!ParseSampleRange(loopSamples, first, last)) {
            error = "bad value for --loop-samples: " + loopSamples + " (START:END, in samples)";
            return false;
        }
        options.loopStartSample = first;
        options.loopEndSample = last;
    }
    if (options.adxDir.empty()) {
        if (files.size() != 2) {
            error = files.size() < 2 ? "an input and an output file are needed (see --help)"
                                     : "more files than IN.wav and OUT.adx: " + files[2] +
                                           " (--adx-dir encodes several)";
            return false;
        }
        options.inputPaths.assign(1, files[0]);
        options.outputPath = files[1];
    } else {
        if (files.empty()) {
            error = "no input file (see --help)";
            return false;
        }
        options.inputPaths = files;
    }
    return true;
}
