// The command line of corvina-play: what to do with which files, and how.
#pragma once

#include <string>
#include <vector>

// The name in every message.
inline constexpr char kToolName[] = "corvina-play";

struct Options {
    enum class Mode { kPlay, kInfo, kWav, kWavDir };

    Mode mode = Mode::kPlay;
    // Paths and names in UTF-8.
    std::vector<std::string> inputPaths; // one, except with --wav-dir
    std::string wavPath;                 // --wav; "-" for standard output
    std::string wavDir;                  // --wav-dir
    std::string member;                  // --member NAME|INDEX: the input is an AFS archive
    std::string modulePath;              // --module; empty: corvina.ax beside the program
    bool render = false;                 // --render: the graph builder and the registered module
    bool quiet = false;                  // --quiet: no progress display
    bool help = false;                   // --help, -h, /?: the usage text, nothing else
    bool version = false;                // --version, -V: the release, nothing else
    bool overwrite = false;              // -y, --overwrite, -f, --force: replace an output file
    long long fileOffset = 0;
    int loopIndex = -1; // --loop; -1: no loop playback
    int passes = 0;     // --passes; 0: until stopped
    bool passesGiven = false;
    double startSeconds = -1.0; // --start; negative: not given
    double stopSeconds = -1.0;  // --stop; negative: not given
    double rate = 1.0;          // --rate
    bool rateGiven = false;

    bool Converting() const { return mode == Mode::kWav || mode == Mode::kWavDir; }
};

// Fills `options` from the arguments (UTF-8, without the program name).
// Returns false with a message (no program name, no trailing newline) in
// `error` for a usage error, also for an option the chosen job cannot honour.
bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

// The usage text for --help.
extern const char kUsageText[];
