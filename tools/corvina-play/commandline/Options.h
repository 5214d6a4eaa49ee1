// The command line of corvina-play: what to do with which files, and how.
#pragma once

#include <string>
#include <vector>

struct Options {
    enum class Mode { kPlay, kInfo, kWav, kWavDir };

    Mode mode = Mode::kPlay;
    std::vector<std::wstring> inputPaths; // one, except with --wav-dir
    std::wstring wavPath;                 // --wav; "-" for standard output
    std::wstring wavDir;                  // --wav-dir
    std::wstring member;                  // --member NAME|INDEX: the input is an AFS archive
    std::wstring modulePath;              // --module; empty: corvina.ax beside the program
    bool render = false;                  // --render: the graph builder and the registered module
    bool quiet = false;                   // --quiet: no progress display
    bool help = false;                    // --help: the usage text, nothing else
    bool version = false;                 // --version: the release, nothing else
    bool overwrite = false;               // -y, --overwrite: replace an existing output file
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

// Fills `options` from the command line. Returns false with a message (no
// program name, no trailing newline) in `error` for a usage error.
bool ParseOptions(int argc, wchar_t** argv, Options& options, std::string& error);

// The usage text for --help.
extern const char kUsageText[];
