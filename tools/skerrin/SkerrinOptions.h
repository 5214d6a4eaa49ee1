// The command line of skerrin's option modes: which job, on which files.
#pragma once

#include <string>
#include <vector>

struct SkerrinOptions {
    enum class Mode { kExtract, kList, kCreate };

    Mode mode = Mode::kExtract;
    bool numbered = false;
    bool overwrite = false;
    bool help = false;
    bool version = false;
    std::string outputDirectory;
    std::string orderPath;
    std::string createPath;
    // The archive and the members to select; the member files with --create.
    std::vector<std::string> operands;
};

// True when the arguments (without the program name) ask for the plain
// `skerrin ARCHIVE`: none of them looks like an option (nor is "/?").
bool IsPlainCommandLine(const std::vector<std::string>& arguments);

// Fills `options` from the arguments (UTF-8, without the program name).
// False with a message (no program name, no hint, no newline) for a usage
// error.
bool ParseSkerrinOptions(const std::vector<std::string>& arguments, SkerrinOptions& options,
                         std::string& error);

// The text of --help.
extern const char kSkerrinHelpText[];
