// Where --wav-dir writes: every input into DIR/NAME.wav, NAME being the
// input's file name, or with --member the member's name, without its
// extension. Outputs that Windows would take as one file (names that differ
// in case or in trailing dots and spaces) or as a device are found before
// anything is written, and the directory is made when it is missing.
#pragma once

#include "ExitStatus.h"
#include "Reporter.h"
#include "commandline/Options.h"

#include <string>
#include <vector>

class WavDirPlan {
public:
    // The outputs of `options.inputPaths` in `options.wavDir`.
    explicit WavDirPlan(const Options& options);

    // Says on stderr which outputs are one file on Windows, or a device;
    // kUsage when there are any, else kDone.
    ExitStatus CheckNames(const Reporter& reporter) const;
    // Makes the directory (and its parents) when it is missing; kDone, or
    // the status after saying why on stderr.
    ExitStatus PrepareDirectory(const Reporter& reporter) const;

    // The output path of input `index`, in UTF-8.
    const std::string& Output(size_t index) const { return outputs_[index]; }

private:
    const Options& options_;
    std::vector<std::string> outputs_; // one per input, in their order
    std::vector<std::string> names_;   // the outputs' file names
};
