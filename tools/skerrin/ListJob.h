// skerrin --list: one line a member (index, offset, size, stored date,
// name), the totals, and a warning for each member that runs past the end
// of a cut archive.
#pragma once

#include "ExitStatus.h"
#include "Reporter.h"
#include "SkerrinOptions.h"

class ListJob {
public:
    ListJob(const SkerrinOptions& options, const Reporter& reporter, char* streamBuffer)
        : options_(options), reporter_(reporter), streamBuffer_(streamBuffer) {}

    // kDone, kRefused (the archive or a member name), or kShort when
    // members run past the end of the archive.
    ExitStatus Run();

private:
    const SkerrinOptions& options_;
    const Reporter& reporter_;
    char* streamBuffer_;
};
