#include "commandline/Options.h"

#include "CommandLine.h"
#include "ParseTime.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

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
    "  -y, --overwrite     replace an existing output file (never the input);\n"
    "                      -f and --force are the same\n"
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
    "  -h, --help, /?      show this text\n"
    "  -V, --version       show the release\n"
    "  --                  the arguments after it are files\n"
    "  Values may also follow an equals sign: --loop=0.\n"
    "\n"
    "Exit status:\n"
    "  0    done\n"
    "  1    usage error, including a loop, a time or an option that FILE or the\n"
    "       chosen job cannot honour (--info takes no --loop, --passes, --start,\n"
    "       --stop or --rate; -y needs an output), a WAV file over the 4 GiB\n"
    "       that the format can hold, and an output that exists (without -y),\n"
    "       is a directory or is a terminal\n"
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

// The options as CLI11 and this program name them. CLI11 words a value
// given to a flag, or missing at the end, its own way, and takes "--wav="
// as "--wav" followed by a value: these are checked first, in this
// program's words.
const char* const kValuedOptions[] = {"--wav",  "--wav-dir", "--module", "--offset", "--member",
                                      "--loop", "--passes",  "--start",  "--stop",   "--rate"};
const char* const kFlagOptions[] = {"--info",  "--render", "--quiet",  "--overwrite",
                                    "--force", "--help",   "--version"};

template <std::size_t N> bool IsOneOf(const std::string& name, const char* const (&names)[N]) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool CheckValuePlacement(const std::vector<std::string>& arguments, std::string& error) {
    for (std::size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            if (IsOneOf(name, kFlagOptions)) {
                error = name + " takes no value";
                return false;
            }
            if (equals + 1 == argument.size() && IsOneOf(name, kValuedOptions)) {
                error = "bad value for " + name + ": "; // CLI11 would take the next argument
                return false;
            }
        } else if (IsOneOf(argument, kValuedOptions)) {
            if (i + 1 == arguments.size()) {
                error = argument + " needs a value";
                return false;
            }
            ++i; // its value, whatever it looks like
        }
    }
    return true;
}

// Decimal, or hexadecimal after "0x" (byte offsets are often given so).
bool ParseInteger(const std::string& text, long long maximum, long long& value) {
    const bool hexadecimal = text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0;
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, hexadecimal ? 16 : 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseRate(const std::string& text, double& value) {
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !(parsed > 0.0 && parsed <= 100.0)) {
        return false;
    }
    value = parsed;
    return true;
}

// The values as given, and how often each option was.
struct GivenValues {
    std::string offset;
    std::string loop;
    std::string passes;
    std::string start;
    std::string stop;
    std::string rate;
    std::vector<std::string> files;
    CLI::Option* info = nullptr;
    CLI::Option* wav = nullptr;
    CLI::Option* wavDir = nullptr;
};

void DeclareOptions(CLI::App& app, Options& options, GivenValues& given) {
    app.set_help_flag(); // --help prints this program's own text
    app.allow_extras();  // unknown options are worded below
    // A repeated option: the last value holds.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("-h,--help", options.help);
    app.add_flag("-V,--version", options.version);
    given.info = app.add_flag("--info");
    given.wav = app.add_option("--wav", options.wavPath);
    given.wavDir = app.add_option("--wav-dir", options.wavDir);
    AddOverwriteFlag(app, options.overwrite);
    app.add_option("--offset", given.offset);
    app.add_option("--member", options.member);
    app.add_option("--loop", given.loop);
    app.add_option("--passes", given.passes);
    app.add_option("--start", given.start);
    app.add_option("--stop", given.stop);
    app.add_option("--rate", given.rate);
    app.add_option("--module", options.modulePath);
    app.add_flag("--render", options.render);
    app.add_flag("--quiet", options.quiet);
    app.add_option("files", given.files);
}

// The options' values as numbers and times; false naming the first bad one.
bool ConvertValues(const CLI::App& app, const GivenValues& given, Options& options,
                   std::string& error) {
    long long integer = 0;
    const auto badValue = [&](const char* name) {
        error =
            std::string("bad value for ") + name + ": " + app.get_option(name)->as<std::string>();
        return false;
    };
    for (const char* name : {"--wav", "--wav-dir", "--module", "--member"}) {
        if (app.get_option(name)->count() != 0 && app.get_option(name)->as<std::string>().empty()) {
            return badValue(name);
        }
    }
    // The parser takes a signed 32-bit byte offset.
    if (app.count("--offset") != 0) {
        if (!ParseInteger(given.offset, 0x7FFFFFFF, options.fileOffset)) {
            return badValue("--offset");
        }
    }
    if (app.count("--loop") != 0) {
        if (!ParseInteger(given.loop, 0x7FFFFFFF, integer)) {
            return badValue("--loop");
        }
        options.loopIndex = static_cast<int>(integer);
    }
    if (app.count("--passes") != 0) {
        if (!ParseInteger(given.passes, 0x7FFFFFFF, integer)) {
            return badValue("--passes");
        }
        options.passes = static_cast<int>(integer);
        options.passesGiven = true;
    }
    if (app.count("--start") != 0 && !ParseTime(given.start, options.startSeconds)) {
        return badValue("--start");
    }
    if (app.count("--stop") != 0 && !ParseTime(given.stop, options.stopSeconds)) {
        return badValue("--stop");
    }
    if (app.count("--rate") != 0) {
        if (!ParseRate(given.rate, options.rate)) {
            return badValue("--rate");
        }
        options.rateGiven = true;
    }
    return true;
}

// The checks between options, once all are read.
bool CheckCombination(const Options& options, std::string& error) {
    if (options.inputPaths.empty()) {
        error = "no input file (see --help)";
        return false;
    }
    if (options.inputPaths.size() > 1 && options.mode != Options::Mode::kWavDir) {
        error =
            "more than one input file: " + options.inputPaths[1] + " (--wav-dir converts several)";
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

// Options that the chosen job would ignore.
bool CheckJob(const Options& options, std::string& error) {
    if (options.mode == Options::Mode::kInfo) {
        const std::pair<bool, const char*> ignored[] = {{options.loopIndex >= 0, "--loop"},
                                                        {options.passesGiven, "--passes"},
                                                        {options.startSeconds >= 0.0, "--start"},
                                                        {options.stopSeconds >= 0.0, "--stop"},
                                                        {options.rateGiven, "--rate"},
                                                        {options.overwrite, "--overwrite"}};
        for (const auto& [given, name] : ignored) {
            if (given) {
                error = std::string(name) +
                        " cannot be used with --info (it describes the whole stream and writes "
                        "no file)";
                return false;
            }
        }
    }
    if (options.overwrite && !options.Converting()) {
        error = "--overwrite needs --wav or --wav-dir (playback writes no file)";
        return false;
    }
    return true;
}

} // namespace

bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error) {
    if (!CheckValuePlacement(arguments, error)) {
        return false;
    }
    CLI::App app;
    GivenValues given;
    DeclareOptions(app, options, given);
    if (!ParseArguments(app, WithWindowsHelp(arguments), error)) {
        return false;
    }
    if (options.help || options.version) {
        return true;
    }
    for (const std::string& extra : app.remaining()) {
        if (extra != "--") {
            error = "unknown option " + extra + " (see --help)";
            return false;
        }
    }
    if (given.info->count() + given.wav->count() + given.wavDir->count() > 1) {
        error = "only one of --info, --wav and --wav-dir may be given";
        return false;
    }
    options.mode = given.info->count() != 0     ? Options::Mode::kInfo
                   : given.wav->count() != 0    ? Options::Mode::kWav
                   : given.wavDir->count() != 0 ? Options::Mode::kWavDir
                                                : Options::Mode::kPlay;
    options.inputPaths = given.files;
    return ConvertValues(app, given, options, error) && CheckCombination(options, error) &&
           CheckJob(options, error);
}
