#include "FileAccess.h"

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

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

} // namespace

#ifdef _WIN32

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    (void)MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              length);
    return wide;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                              length, nullptr, nullptr);
    return narrow;
}

PathKind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::kMissing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory : PathKind::kFile;
}

bool SameFile(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::string* paths[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        const HANDLE file = CreateFileW(
            Widen(*paths[i]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
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

bool SameFile(const std::string& first, const std::string& second) {
    struct stat info = {};
    struct stat otherInfo = {};
    return stat(first.c_str(), &info) == 0 && stat(second.c_str(), &otherInfo) == 0 &&
           info.st_dev == otherInfo.st_dev && info.st_ino == otherInfo.st_ino;
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
    const FilePointer file(_wfopen(Widen(path).c_str(), L"rb"));
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

std::string StemOf(const std::string& path) {
    std::size_t start = path.size();
    while (start > 0 && !IsSeparator(path[start - 1])) {
        --start;
    }
    std::string name = path.substr(start);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) {
        return name;
    }
    if (IsSeparator(directory.back())) {
        return directory + name;
    }
    // The user's own separator, so that the path reads as they wrote it.
    return directory + (directory.find('\\') == std::string::npos ? "/" : "\\") + name;
}
