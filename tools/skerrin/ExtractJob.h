// skerrin with options, extracting: the selected members into the output
// directory, and with -T the list of the paths written. Outputs that exist
// are refused before anything is written, unless --overwrite.
#pragma once

#include "ArchiveInput.h"
#include "ExitStatus.h"
#include "Reporter.h"
#include "SkerrinOptions.h"

#include <string>
#include <vector>

class MemberExtractor;

class ExtractJob {
public:
    ExtractJob(const SkerrinOptions& options, const Reporter& reporter, char* streamBuffer)
        : options_(options), reporter_(reporter), input_(options, reporter, streamBuffer) {}

    ExitStatus Run();

private:
    // Whether the outputs may be written: none is the archive, and none
    // exists unless --overwrite. Reported when not.
    bool OutputsAllowed(const std::vector<uint32_t>& indices, const MemberExtractor& extractor);
    bool WriteOrder(const std::vector<std::string>& writtenPaths);

    const SkerrinOptions& options_;
    const Reporter& reporter_;
    ArchiveInput input_;
};
