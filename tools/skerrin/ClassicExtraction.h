// The plain `skerrin ARCHIVE`: every member into the working directory,
// replacing files of its name, with the classic messages and statuses.
#pragma once

#include "Reporter.h"

#include <string>

class ClassicExtraction {
public:
    enum Status { kAllWritten = 0, kRefused = 1, kMemberFailed = 2 };

    explicit ClassicExtraction(const Reporter& reporter) : reporter_(reporter) {}

    // `streamBuffer` (may be null) becomes the archive's stdio buffer.
    Status Run(const std::string& archivePath, char* streamBuffer);

private:
    const Reporter& reporter_;
};
