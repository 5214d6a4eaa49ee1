#include "OutputFile.h"

#include "FileAccess.h"
#include "FilePath.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Names of temporary files differ between the jobs of one run.
std::atomic<unsigned> temporaryCount{0};

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A new file that no one else created: never an existing one followed.
std::FILE* CreateExclusive(const std::string& path) {
#ifdef _WIN32
    const int descriptor = _wopen(FilePath::Widen(path).c_str(),
                                  _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* file = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
    if (descriptor >= 0 && file == nullptr) {
        (void)_close(descriptor);
    }
#else
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (descriptor >= 0 && file == nullptr) {
        (void)close(descriptor);
    }
#endif
    return file;
}

void RemoveFile(const std::string& path) {
#ifdef _WIN32
    (void)_wremove(FilePath::Widen(path).c_str());
#else
    (void)std::remove(path.c_str());
#endif
}

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExW(FilePath::Widen(from).c_str(), FilePath::Widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING) == 0) {
        errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return false;
    }
    return true;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

} // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& path, std::string& error) {
    Discard();
    path_ = path;
#ifdef _WIN32
    const unsigned long processId = static_cast<unsigned long>(_getpid());
#else
    const unsigned long processId = static_cast<unsigned long>(getpid());
#endif
    temporaryPath_ = path + "." + std::to_string(processId) + "-" +
                     std::to_string(temporaryCount.fetch_add(1)) + ".tmp";
    errno = 0;
    file_ = CreateExclusive(temporaryPath_);
    if (file_ == nullptr) {
        error = ErrnoText("cannot create");
        return false;
    }
    return true;
}

bool OutputFile::Write(const void* bytes, std::size_t byteCount, std::string& error) {
    errno = 0;
    if (file_ == nullptr || std::fwrite(bytes, 1, byteCount, file_) != byteCount) {
        error = ErrnoText("write error");
        Discard();
        return false;
    }
    return true;
}

bool OutputFile::Commit(std::string& error) {
    if (file_ == nullptr) {
        error = "write error: the file is closed";
        return false;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed) {
        errno = flushed ? errno : flushError;
        error = ErrnoText("write error");
        RemoveFile(temporaryPath_);
        return false;
    }
    if (!RenameOver(temporaryPath_, path_)) {
        error = ErrnoText("cannot replace the output");
        RemoveFile(temporaryPath_);
        return false;
    }
    return true;
}

void OutputFile::Discard() {
    if (file_ == nullptr) {
        return;
    }
    (void)std::fclose(file_); // the file goes away: its write errors no longer matter
    file_ = nullptr;
    RemoveFile(temporaryPath_);
}
