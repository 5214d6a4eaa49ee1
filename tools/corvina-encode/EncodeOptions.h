// The command line of corvina-encode: which files, and how to encode them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct EncodeOptions {
    std::vector<std::string> inputPaths; // IN.wav, or every file with --adx-dir
    std::string outputPath;              // OUT.adx; empty with --adx-dir
    std::string adxDir;                  // --adx-dir: DIR/NAME.adx for every input
    // The loop as given: sample frames, or times still to be converted at
    // the input's rate. Neither: the input's smpl loop, unless noLoop.
    std::optional<std::int64_t> loopStartSample;
    std::optional<std::int64_t> loopEndSample; // exclusive
    std::optional<double> loopStartSeconds;
    std::optional<double> loopEndSeconds;
    bool noLoop = false;
    std::int32_t headerVersion = 3;
    std::int32_t cutoffFrequency = 500;
    std::int32_t jobs = 0; // 0: every core
    bool overwrite = false;
    bool help = false;
    bool version = false;

    bool LoopGiven() const {
        return loopStartSample || loopEndSample || loopStartSeconds || loopEndSeconds;
    }
};

// Fills `options` from the arguments (UTF-8, without the program name).
// False with a message (no program name, no newline) for a usage error.
bool ParseEncodeOptions(const std::vector<std::string>& arguments, EncodeOptions& options,
                        std::string& error);

// The usage text for --help.
extern const char kEncodeUsageText[];
