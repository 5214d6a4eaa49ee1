#include "ReplacingFile.h"

#include "FilePath.h"

#include <cerrno>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Names tried before giving up: the plain one, then -1, -2...
constexpr unsigned kTemporaryAttempts = 100;

#ifdef _WIN32
// The runtime's errno for the system's codes that creating and renaming
// give, so that messages read as for any other file.
int ErrnoOf(DWORD reason) {
    switch (reason) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}
#else
unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}
#endif

void RemovePath(const std::string& path) {
#ifdef _WIN32
    (void)_wremove(FilePath::Widen(path).c_str());
#else
    (void)std::remove(path.c_str());
#endif
}

} // namespace

bool ReplacingFile::Create(const std::string& path, const std::string& infix,
                           const std::string& suffix) {
    Discard();
    path_ = path;
    const std::string stem = path + infix + std::to_string(ProcessId());
    for (unsigned attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        std::string candidate = stem;
        if (attempt > 0) {
            candidate += "-" + std::to_string(attempt);
        }
        candidate += suffix;
        if (CreateExclusive(candidate)) {
            temporaryPath_ = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

#ifdef _WIN32

bool ReplacingFile::CreateExclusive(const std::string& candidate) {
    const HANDLE handle =
        CreateFileW(FilePath::Widen(candidate).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        systemError_ = GetLastError();
        errno = ErrnoOf(systemError_);
        return false;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
    } else {
        file_ = _fdopen(descriptor, "wb");
        if (file_ == nullptr) {
            (void)_close(descriptor);
        }
    }
    if (file_ == nullptr) {
        const int number = errno;
        systemError_ = ERROR_NOT_ENOUGH_MEMORY;
        RemovePath(candidate);
        errno = number == 0 ? ENOMEM : number;
        return false;
    }
    return true;
}

bool ReplacingFile::Rename(bool replace) {
    if (MoveFileExW(FilePath::Widen(temporaryPath_).c_str(), FilePath::Widen(path_).c_str(),
                    replace ? MOVEFILE_REPLACE_EXISTING : 0) == 0) {
        systemError_ = GetLastError();
        errno = ErrnoOf(systemError_);
        return false;
    }
    return true;
}

#else

bool ReplacingFile::CreateExclusive(const std::string& candidate) {
    // Never an existing file, nor one that a link put in the way, followed.
    const int descriptor = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
        file_ = fdopen(descriptor, "wb");
        if (file_ == nullptr) {
            const int number = errno;
            (void)close(descriptor);
            RemovePath(candidate);
            errno = number;
        }
    }
    systemError_ = file_ == nullptr ? static_cast<unsigned long>(errno) : 0;
    return file_ != nullptr;
}

bool ReplacingFile::Rename(bool replace) {
    // Without replacing: a link fails on an existing name, as no rename does.
    const bool renamed = replace ? std::rename(temporaryPath_.c_str(), path_.c_str()) == 0
                                 : link(temporaryPath_.c_str(), path_.c_str()) == 0;
    systemError_ = renamed ? 0 : static_cast<unsigned long>(errno);
    if (renamed && !replace) {
        RemovePath(temporaryPath_);
    }
    return renamed;
}

#endif

ReplacingFile::CommitResult ReplacingFile::Commit(bool replace, bool durable) {
    if (file_ == nullptr) {
        errno = EBADF;
        systemError_ = EBADF;
        Discard();
        return CommitResult::kWriteFailed;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    bool written = std::fflush(file) == 0;
#ifdef _WIN32
    written = written && (!durable || _commit(_fileno(file)) == 0);
#else
    written = written && (!durable || fsync(fileno(file)) == 0);
#endif
    int number = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        number = errno;
    }
    if (!written) {
        systemError_ = static_cast<unsigned long>(number);
        Discard();
        errno = number;
        return CommitResult::kWriteFailed;
    }
    if (!Rename(replace)) {
        number = errno;
        Discard();
        errno = number;
        return number == EEXIST && !replace ? CommitResult::kTargetExists
                                            : CommitResult::kRenameFailed;
    }
    temporaryPath_.clear();
    return CommitResult::kCommitted;
}

void ReplacingFile::Discard() {
    if (file_ != nullptr) {
        (void)std::fclose(file_); // the file goes away: its write errors no longer matter
        file_ = nullptr;
    }
    if (!temporaryPath_.empty()) {
        RemovePath(temporaryPath_);
        temporaryPath_.clear();
    }
}
