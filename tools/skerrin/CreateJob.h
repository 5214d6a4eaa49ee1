// skerrin --create: an archive from the member files given and those a -T
// list names. An archive that exists is refused unless --overwrite; one
// that is among the inputs is refused always.
#pragma once

#include "ExitStatus.h"
#include "Reporter.h"
#include "SkerrinOptions.h"

#include <string>
#include <vector>

class CreateJob {
public:
    CreateJob(const SkerrinOptions& options, const Reporter& reporter)
        : options_(options), reporter_(reporter) {}

    ExitStatus Run();

private:
    // Whether the archive may be written where it was asked for (reported
    // when not).
    bool TargetAllowed();
    // The lines of the -T file: paths, blank lines skipped, a CR before the
    // newline and a UTF-8 byte order mark at the start tolerated.
    bool ReadOrder(std::vector<std::string>& paths);

    const SkerrinOptions& options_;
    const Reporter& reporter_;
};
