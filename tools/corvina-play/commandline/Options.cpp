#include "commandline/Options.h"

#include "ParseTime.h"
#include "commandline/ConsoleText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <vector>

const char kUsageText[] =
    "usage: corvina-play [options] FILE\n"
    "       corvina-play --wav-dir DIR [options] FILE...\n"
    "\n"
    "Plays the ADX stream in FILE through corvina's parser and decoder filters\n"
    "and the DirectSound renderer, or converts it into a WAV file.\n"
    "\n"
    "What to do:\n"
    "  (no mode option)    play in real time with the graph's clock, showing the\n"
    "                      time played of the time that will play and the loop\n"
    "                      pass; Ctrl+C stops\n"
    "  --info              print the stream information the parser reports and\n"
    "                      the loop table, then exit\n"
    "  --wav OUT.wav       decode as fast as the machine allows (no clock) into\n"
    "                      a 16-bit PCM WAV file, with a progress bar. It is\n"
    "                      written as OUT.wav.partial-PID (PID: the process\n"
    "                      number) and renamed to OUT.wav once complete, so an\n"
    "                      existing OUT.wav stays intact until then; a failed\n"
    "                      or stopped run removes it (only a killed one leaves\n"
    "                      it). - writes the WAV to standard output (never a\n"
    "                      terminal; its sizes then read 0xFFFFFFFF: unknown).\n"
    "                      A whole stream (no --loop, --start or --stop) keeps\n"
    "                      its first loop, as played, in a smpl chunk after the\n"
    "                      data (not on standard output), which corvina-encode\n"
    "                      reads\n"
    "  --wav-dir DIR       convert every FILE into DIR/NAME.wav (NAME: FILE's\n"
    "                      name, with --member the member's, without its\n"
    "                      extension) in one run, making DIR when it is\n"
    "                      missing; one summary line per file and a total on\n"
    "                      standard output. Names that are one file on Windows\n"
    "                      (Title and title) are refused before any is written\n"
    "  -y, --overwrite     replace an existing output file (never the input)\n"
    "\n"
    "Stream:\n"
    "  --offset BYTES      the ADX stream starts at this byte of FILE (default 0;\n"
    "                      0x... for hexadecimal)\n"
    "  --member NAME|INDEX FILE is an AFS archive: play its member of this name,\n"
    "                      or at this index (0 is the first)\n"
    "  --loop N            play loop N of the loop table (0 is the first)\n"
    "                      seamlessly: the first pass runs from the start to the\n"
    "                      loop end, every further pass from the loop start to\n"
    "                      the loop end\n"
    "  --passes K          with --loop: end after K passes; 0 (the default)\n"
    "                      loops until stopped, which --wav does not allow\n"
    "  --start TIME        begin at the block that holds this time\n"
    "  --stop TIME         end with the block that holds this time; with --loop\n"
    "                      only before the loop end and with --passes 1\n"
    "                      TIME: seconds (83.5) or [hh:]mm:ss[.frac] (1:23.5)\n"
    "  --rate R            playback rate, above 0 (default 1); it scales the\n"
    "                      time stamps, not the decoded samples, so not with\n"
    "                      --wav\n"
    "\n"
    "Filters:\n"
    "  --module PATH       load the filters from this corvina.ax instead of the\n"
    "                      one beside the program; no registration is needed;\n"
    "                      it must be of corvina-play's own release\n"
    "  --render            let the graph builder build the graph (RenderFile)\n"
    "                      from the registered module (regsvr32 corvina.ax);\n"
    "                      not with --offset, --member or --module\n"
    "\n"
    "Other:\n"
    "  --quiet             no progress display (it is shown only on a console)\n"
    "  -h, --help          show this text\n"
    "  --version           show the release\n"
    "  --                  the arguments after it are files\n"
    "  Values may also follow an equals sign: --loop=0.\n"
    "\n"
    "Exit status:\n"
    "  0    done\n"
    "  1    usage error, including a loop, a time or an option that FILE cannot\n"
    "       honour, and an output that exists (without -y), is a directory or\n"
    "       is a terminal\n"
    "  2    FILE refused (missing, unreadable, not an ADX stream, too short, a\n"
    "       length out of range, a format the decoder cannot play, no such\n"
    "       member)\n"
    "  3    failure while building the graph, playing or writing (missing\n"
    "       module or one of another release, no audio device, write error,\n"
    "       also on standard output)\n"
    "  4    finished, but short: the data ended before the header's length,\n"
    "       the stop or the last pass (a warning says how much was delivered)\n"
    "  130  stopped by Ctrl+C (an incomplete WAV file is removed)\n"
    "  141  --wav -: the reader of standard output went away (| head), as a\n"
    "       Unix program ended by SIGPIPE; nothing is reported\n"
    "  With --wav-dir, the most serious status of all files.\n";

namespace {

// Decimal, or hexadecimal after "0x" (byte offsets are often given so).
bool ParseInteger(const wchar_t* text, long long minimum, long long maximum, long long& value) {
    const bool hexadecimal = text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    errno = 0;
    wchar_t* end = nullptr;
    const long long parsed = std::wcstoll(text, &end, hexadecimal ? 16 : 10);
    if (errno != 0 || end == text || *end != L'\0' || parsed < minimum || parsed > maximum ||
        text[0] == L'-' || text[0] == L'+' || text[0] == L' ') {
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
    if (options.inputPaths.empty()) {
        error = "no input file (see --help)";
        return false;
    }
    if (options.inputPaths.size() > 1 && options.mode != Options::Mode::kWavDir) {
        error = "more than one input file: " + Utf8(options.inputPaths[1]) +
                " (--wav-dir converts several)";
        return false;
    }
    if (options.passesGiven && options.loopIndex < 0) {
        error = "--passes needs --loop";
        return false;
    }
    if (options.Converting() && options.loopIndex >= 0 && options.passes == 0) {
        error = "--wav with --loop needs --passes 1 or more (the loop would never end)";
        return false;
    }
    if (options.Converting() && options.rateGiven) {
        error = "--rate cannot be used with --wav (it changes time stamps, not samples: the "
                "WAV file would be the same)";
        return false;
    }
    if (options.startSeconds >= 0.0 && options.stopSeconds >= 0.0 &&
        options.stopSeconds <= options.startSeconds) {
        error = "--stop must lie after --start";
        return false;
    }
    if (options.loopIndex >= 0 && options.stopSeconds >= 0.0 && options.passes != 1) {
        error = "--stop with --loop ends the first pass: it needs --passes 1";
        return false;
    }
    if (!options.member.empty() && options.fileOffset != 0) {
        error = "--member and --offset cannot be used together (the member gives the offset)";
        return false;
    }
    if (options.render && (options.fileOffset != 0 || !options.member.empty())) {
        error = "--offset and --member cannot be used with --render (the graph builder reads the "
                "header before an offset can be set)";
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
    bool optionsEnded = false;
    auto setMode = [&](Options::Mode mode) {
        if (modeGiven) {
            error = "only one of --info, --wav and --wav-dir may be given";
            return false;
        }
        modeGiven = true;
        options.mode = mode;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        std::wstring option = argv[i];
        if (optionsEnded || option == L"-" || option.empty() || option[0] != L'-') {
            options.inputPaths.push_back(option);
            continue;
        }
        if (option == L"--") {
            optionsEnded = true;
            continue;
        }
        if (option == L"--help" || option == L"-h") {
            options.help = true;
            return true;
        }
        if (option == L"--version") {
            options.version = true;
            return true;
        }
        // --name=value
        std::wstring inlineValue;
        bool hasInlineValue = false;
        const size_t equals = option.find(L'=');
        if (option.compare(0, 2, L"--") == 0 && equals != std::wstring::npos) {
            inlineValue = option.substr(equals + 1);
            option.erase(equals);
            hasInlineValue = true;
        }
        const bool flag = option == L"--info" || option == L"--render" || option == L"--quiet" ||
                          option == L"--overwrite" || option == L"-y";
        const bool valued = option == L"--wav" || option == L"--wav-dir" || option == L"--module" ||
                            option == L"--offset" || option == L"--member" || option == L"--loop" ||
                            option == L"--passes" || option == L"--start" || option == L"--stop" ||
                            option == L"--rate";
        if (!flag && !valued) {
            error = "unknown option " + Utf8(option) + " (see --help)";
            return false;
        }
        if (flag) {
            if (hasInlineValue) {
                error = Utf8(option) + " takes no value";
                return false;
            }
            if (option == L"--info") {
                if (!setMode(Options::Mode::kInfo)) {
                    return false;
                }
            } else if (option == L"--render") {
                options.render = true;
            } else if (option == L"--quiet") {
                options.quiet = true;
            } else {
                options.overwrite = true;
            }
            continue;
        }
        if (!hasInlineValue && i + 1 >= argc) {
            error = Utf8(option) + " needs a value";
            return false;
        }
        const std::wstring valueText = hasInlineValue ? inlineValue : std::wstring(argv[++i]);
        const wchar_t* value = valueText.c_str();
        long long integer = 0;
        bool ok = true;
        if (option == L"--wav" || option == L"--wav-dir") {
            const bool toDirectory = option == L"--wav-dir";
            if (!setMode(toDirectory ? Options::Mode::kWavDir : Options::Mode::kWav)) {
                return false;
            }
            (toDirectory ? options.wavDir : options.wavPath) = valueText;
            ok = !valueText.empty();
        } else if (option == L"--module") {
            options.modulePath = valueText;
            ok = !valueText.empty();
        } else if (option == L"--member") {
            options.member = valueText;
            ok = !valueText.empty();
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
            ok = ParseTime(Utf8(valueText), options.startSeconds);
        } else if (option == L"--stop") {
            ok = ParseTime(Utf8(valueText), options.stopSeconds);
        } else {
            ok = ParseRate(value, options.rate);
            options.rateGiven = true;
        }
        if (!ok) {
            error = "bad value for " + Utf8(option) + ": " + Utf8(valueText);
            return false;
        }
    }
    return CheckCombination(options, error);
}
