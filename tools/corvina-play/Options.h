// The command line of corvina-play: what to do with which file, and how.
#pragma once

#include <string>

struct Options {
    enum class Mode { kPlay, kInfo, kWav };

    Mode mode = Mode::kPlay;
    std::wstring inputPath;
    std::wstring wavPath;    // --wav
    std::wstring modulePath; // --module; empty: corvina.ax beside the program
    bool render = false;     // --render: the graph builder and the registered module
    bool quiet = false;      // --quiet: no progress display
    bool help = false;       // --help: the usage text, nothing else
    long long fileOffset = 0;
    int loopIndex = -1; // --loop; -1: no loop playback
    int passes = 0;     // --passes; 0: until stopped
    bool passesGiven = false;
    double startSeconds = -1.0; // --start; negative: not given
    double stopSeconds = -1.0;  // --stop; negative: not given
    double rate = 1.0;          // --rate
    bool rateGiven = false;
};

// Fills `options` from the command line. Returns false with a message (no
// program name, no trailing newline) in `error` for a usage error.
bool ParseOptions(int argc, wchar_t** argv, Options& options, std::string& error);

// The usage text for --help.
extern const char kUsageText[];
