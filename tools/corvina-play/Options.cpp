#include "Options.h"

#include "TextFormat.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cwchar>

const char kUsageText[] =
    "usage: corvina-play [options] FILE\n"
    "\n"
    "Plays the ADX stream in FILE through corvina's parser and decoder filters\n"
    "and the DirectSound renderer, or converts it into a WAV file.\n"
    "\n"
    "What to do:\n"
    "  (no mode option)    play in real time with the graph's clock, showing\n"
    "                      position / duration and the loop pass; Ctrl+C stops\n"
    "  --info              print the stream information the parser reports and\n"
    "                      the loop table, then exit\n"
    "  --wav OUT.wav       decode as fast as the machine allows (no clock) into\n"
    "                      a 16-bit PCM WAV file, with a progress bar\n"
    "\n"
    "Stream:\n"
    "  --offset BYTES      the ADX stream starts at this byte of FILE (default 0;\n"
    "                      0x... for hexadecimal)\n"
    "  --loop N            play loop N of the loop table (0 is the first)\n"
    "                      seamlessly: the first pass runs from the start to the\n"
    "                      loop end, every further pass from the loop start to\n"
    "                      the loop end\n"
    "  --passes K          with --loop: end after K passes; 0 (the default)\n"
    "                      loops until stopped, which --wav does not allow\n"
    "  --start SEC         begin at the block that holds this time\n"
    "  --stop SEC          end with the block that holds this time (with\n"
    "                      --loop: in the first pass only)\n"
    "  --rate R            playback rate, above 0 (default 1); it scales the\n"
    "                      time stamps, not the decoded samples\n"
    "\n"
    "Filters:\n"
    "  --module PATH       load the filters from this corvina.ax instead of the\n"
    "                      one beside the program; no registration is needed\n"
    "  --render            let the graph builder build the graph (RenderFile)\n"
    "                      from the registered module (regsvr32 corvina.ax);\n"
    "                      not with --offset or --module\n"
    "\n"
    "Other:\n"
    "  --quiet             no progress display (it is shown only on a console)\n"
    "  --help              show this text\n"
    "\n"
    "Exit status: 0 done (also when Ctrl+C stops playback); 1 usage error,\n"
    "including a loop or a time that FILE does not have; 2 FILE refused\n"
    "(missing, unreadable, not an ADX stream, too short); 3 failure while\n"
    "building the graph, playing or writing (missing module, no audio\n"
    "device, write error, Ctrl+C during --wav, which removes OUT.wav).\n";

namespace {

// Decimal, or hexadecimal after "0x" (byte offsets are often given so).
bool ParseInteger(const wchar_t* text, long long minimum, long long maximum, long long& value) {
    const bool hexadecimal = text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    errno = 0;
    wchar_t* end = nullptr;
    const long long parsed = std::wcstoll(text, &end, hexadecimal ? 16 : 10);
    if (errno != 0 || end == text || *end != L'\0' || parsed < minimum || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseSeconds(const wchar_t* text, double& value) {
    errno = 0;
    wchar_t* end = nullptr;
    const double parsed = std::wcstod(text, &end);
    // Up to a day: far beyond any ADX stream, and exact in 100-ns units.
    if (errno != 0 || end == text || *end != L'\0' || !(parsed >= 0.0 && parsed <= 86400.0)) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseRate(const wchar_t* text, double& value) {
    errno = 0;
    wchar_t* end = nullptr;
    const double parsed = std::wcstod(text, &end);
    if (errno != 0 || end == text || *end != L'\0' || !(parsed > 0.0 && parsed <= 100.0)) {
        return false;
    }
    value = parsed;
    return true;
}

// The checks between options, once all are read.
bool CheckCombination(const Options& options, std::string& error) {
    if (options.inputPath.empty()) {
        error = "no input file (see --help)";
        return false;
    }
    if (options.passesGiven && options.loopIndex < 0) {
        error = "--passes needs --loop";
        return false;
    }
    if (options.mode == Options::Mode::kWav && options.loopIndex >= 0 && options.passes == 0) {
        error = "--wav with --loop needs --passes 1 or more (the loop would never end)";
        return false;
    }
    if (options.startSeconds >= 0.0 && options.stopSeconds >= 0.0 &&
        options.stopSeconds <= options.startSeconds) {
        error = "--stop must lie after --start";
        return false;
    }
    if (options.render && options.fileOffset != 0) {
        error = "--offset cannot be used with --render (the graph builder reads the header "
                "before an offset can be set)";
        return false;
    }
    if (options.render && !options.modulePath.empty()) {
        error = "--module cannot be used with --render (the graph builder uses the registered "
                "module)";
        return false;
    }
    return true;
}

} // namespace

bool ParseOptions(int argc, wchar_t** argv, Options& options, std::string& error) {
    bool modeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--help" || option == L"-h") {
            options.help = true;
            return true;
        }
        if (option.size() < 2 || option.compare(0, 2, L"--") != 0) {
            if (!options.inputPath.empty()) {
                error = "more than one input file: " + Utf8(option);
                return false;
            }
            options.inputPath = option;
            continue;
        }
        // Options without a value.
        if (option == L"--info" || option == L"--render" || option == L"--quiet") {
            if (option == L"--info") {
                if (modeGiven) {
                    error = "only one of --info and --wav may be given";
                    return false;
                }
                modeGiven = true;
                options.mode = Options::Mode::kInfo;
            } else if (option == L"--render") {
                options.render = true;
            } else {
                options.quiet = true;
            }
            continue;
        }
        const bool known = option == L"--wav" || option == L"--module" || option == L"--offset" ||
                           option == L"--loop" || option == L"--passes" || option == L"--start" ||
                           option == L"--stop" || option == L"--rate";
        if (!known) {
            error = "unknown option " + Utf8(option) + " (see --help)";
            return false;
        }
        if (i + 1 >= argc) {
            error = Utf8(option) + " needs a value";
            return false;
        }
        const wchar_t* value = argv[++i];
        long long integer = 0;
        bool ok = true;
        if (option == L"--wav") {
            if (modeGiven) {
                error = "only one of --info and --wav may be given";
                return false;
            }
            modeGiven = true;
            options.mode = Options::Mode::kWav;
            options.wavPath = value;
            ok = *value != L'\0';
        } else if (option == L"--module") {
            options.modulePath = value;
            ok = *value != L'\0';
        } else if (option == L"--offset") {
            // The parser takes a signed 32-bit byte offset.
            ok = ParseInteger(value, 0, 0x7FFFFFFF, options.fileOffset);
        } else if (option == L"--loop") {
            ok = ParseInteger(value, 0, 0x7FFFFFFF, integer);
            options.loopIndex = static_cast<int>(integer);
        } else if (option == L"--passes") {
            ok = ParseInteger(value, 0, 0x7FFFFFFF, integer);
            options.passes = static_cast<int>(integer);
            options.passesGiven = true;
        } else if (option == L"--start") {
            ok = ParseSeconds(value, options.startSeconds);
        } else if (option == L"--stop") {
            ok = ParseSeconds(value, options.stopSeconds);
        } else {
            ok = ParseRate(value, options.rate);
            options.rateGiven = true;
        }
        if (!ok) {
            error = "bad value for " + Utf8(option) + ": " + Utf8(value);
            return false;
        }
    }
    return CheckCombination(options, error);
}
