#include "ReplacingFile.h"

#include "FileSystem.h"

#include <cerrno>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

bool ReplacingFile::Create() {
    Discard();
#ifdef _WIN32
    const unsigned long processId = static_cast<unsigned long>(_getpid());
#else
    const unsigned long processId = static_cast<unsigned long>(getpid());
#endif
    // A name of its own: a file left by a run that was killed is not reused.
    const std::string stem = path_ + ".skerrin-" + std::to_string(processId);
    std::string candidate = stem + ".tmp";
    for (unsigned suffix = 1; FileSystem::Exists(candidate); ++suffix) {
        candidate = stem + "-" + std::to_string(suffix) + ".tmp";
    }
    file_ = StdioFile::Open(candidate.c_str(), "wb");
    if (!file_) {
        return false;
    }
    temporaryPath_ = candidate;
    return true;
}

bool ReplacingFile::Commit() {
    if (temporaryPath_.empty()) {
        errno = EBADF;
        return false;
    }
    bool committed = file_.Close() && FileSystem::Replace(temporaryPath_, path_);
    const int error = errno;
    if (committed) {
        temporaryPath_.clear();
    } else {
        Discard();
        errno = error;
    }
    return committed;
}

void ReplacingFile::Discard() {
    (void)file_.Close(); // the file goes away: its write errors no longer matter
    if (!temporaryPath_.empty()) {
        (void)FileSystem::Remove(temporaryPath_);
        temporaryPath_.clear();
    }
}
