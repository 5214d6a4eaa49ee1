#include "FileAccess.h"

#include "FilePath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

constexpr std::size_t kReadChunkBytes = 1 << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

#ifdef _WIN32

PathKind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(FilePath::Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::kMissing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory : PathKind::kFile;
}

#else

PathKind KindOf(const std::string& path) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) {
        return PathKind::kMissing;
    }
    if (S_ISDIR(info.st_mode)) {
        return PathKind::kDirectory;
    }
    return S_ISREG(info.st_mode) ? PathKind::kFile : PathKind::kOther;
}

#endif

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    bytes.clear();
    if (KindOf(path) == PathKind::kDirectory) {
        error = "is a directory, not a file";
        return false;
    }
    errno = 0;
#ifdef _WIN32
    const FilePointer file(_wfopen(FilePath::Widen(path).c_str(), L"rb"));
#else
    const FilePointer file(std::fopen(path.c_str(), "rb"));
#endif
    if (!file) {
        error = errno == ENOENT ? std::string("no such file")
                                : std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    for (;;) {
        const std::size_t had = bytes.size();
        bytes.resize(had + kReadChunkBytes);
        const std::size_t got = std::fread(bytes.data() + had, 1, kReadChunkBytes, file.get());
        bytes.resize(had + got);
        if (got < kReadChunkBytes) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        error = std::string("read error: ") + std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}
