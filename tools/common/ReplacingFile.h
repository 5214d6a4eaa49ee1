// An output file that appears whole or not at all: written under a
// temporary name beside it and renamed to its name only by Commit. A file
// never committed (a failure, Ctrl+C) is removed, and an old file of the
// name stays as it was until the rename; only a killed process leaves its
// temporary file behind. Paths are UTF-8 (wide on Windows). Failures leave
// errno set, and the system's own code in SystemError().
#pragma once

#include <cstdio>
#include <string>

class ReplacingFile {
public:
    enum class CommitResult { kCommitted, kWriteFailed, kTargetExists, kRenameFailed };

    ReplacingFile() = default;
    ~ReplacingFile() { Discard(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates a new file named PATH + infix + PID + suffix (PID: this
    // process's number), or with "-N" after the PID while that name is taken
    // (by a leftover of a killed run, or another job of this one). False
    // when none could be created.
    bool Create(const std::string& path, const std::string& infix, const std::string& suffix);
    std::FILE* Get() const { return file_; }
    const std::string& Path() const { return path_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }
    // The system's code of the last failure (GetLastError on Windows, errno
    // elsewhere).
    unsigned long SystemError() const { return systemError_; }

    // Flushes and closes the file (with `durable`, makes its data reach the
    // disk first, so that a crash cannot leave an empty file where an old one
    // was) and renames it to the path: over a file of that name only with
    // `replace`. Anything but kCommitted removes the temporary file.
    CommitResult Commit(bool replace, bool durable);
    // Closes and removes the temporary file.
    void Discard();

private:
    bool CreateExclusive(const std::string& candidate);
    bool Rename(bool replace);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temporaryPath_; // empty when there is none
    unsigned long systemError_ = 0;
};
