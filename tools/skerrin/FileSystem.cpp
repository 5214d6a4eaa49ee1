#include "FileSystem.h"

#include "FilePath.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <direct.h>
#include <sys/utime.h>
#include <windows.h>
#else
#include <utime.h>
#endif

bool FileSystem::Status(const std::string& path, FileStatus& status) {
#ifdef _WIN32
    // The runtime's stat refuses a folder written with a trailing separator
    // ("wsrc/"), which the system itself takes; only a folder may have one.
    size_t pathBytes = path.size();
    while (pathBytes > 1 && IsSeparator(path[pathBytes - 1]) && path[pathBytes - 2] != ':') {
        --pathBytes;
    }
    struct _stat64 info;
    if (_wstat64(FilePath::Widen(path.substr(0, pathBytes)).c_str(), &info) != 0) {
        return false;
    }
    if (pathBytes != path.size() && (info.st_mode & _S_IFMT) != _S_IFDIR) {
        errno = ENOTDIR;
        return false;
    }
    status.isDirectory = (info.st_mode & _S_IFMT) == _S_IFDIR;
    status.isRegular = (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    status.isDirectory = S_ISDIR(info.st_mode);
    status.isRegular = S_ISREG(info.st_mode);
#endif
    status.sizeBytes = static_cast<uint64_t>(info.st_size);
    status.modifiedTime = static_cast<std::time_t>(info.st_mtime);
    return true;
}

bool FileSystem::Exists(const std::string& path) {
    FileStatus status;
    return Status(path, status);
}

bool FileSystem::SameFile(const std::string& path, const std::string& otherPath) {
    return FilePath::SameFile(path, otherPath);
}

bool FileSystem::MakeDirectories(const std::string& path) {
    FileStatus status;
    if (Status(path, status)) {
        if (status.isDirectory) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    // Parents first; a path of separators only (the root) always exists.
    size_t parentEnd = path.size();
    while (parentEnd > 0 && IsSeparator(path[parentEnd - 1])) {
        --parentEnd;
    }
    while (parentEnd > 0 && !IsSeparator(path[parentEnd - 1])) {
        --parentEnd;
    }
    while (parentEnd > 1 && IsSeparator(path[parentEnd - 1])) {
        --parentEnd;
    }
    if (parentEnd > 0 && !MakeDirectories(path.substr(0, parentEnd))) {
        return false;
    }
#ifdef _WIN32
    const int result = _wmkdir(FilePath::Widen(path).c_str());
#else
    const int result = mkdir(path.c_str(), 0777);
#endif
    return result == 0 || (errno == EEXIST && Status(path, status) && status.isDirectory);
}

namespace {

// The names in an opened directory (null: it could not be opened), without
// "." and ".."; false with errno set.
template <typename Directory, typename Entry, typename NameOf>
bool ReadNames(Directory* directory, Entry* (*readEntry)(Directory*),
               int (*closeDirectory)(Directory*), NameOf nameOf, std::vector<std::string>& names) {
    if (directory == nullptr) {
        return false;
    }
    errno = 0;
    while (const Entry* entry = readEntry(directory)) {
        std::string name = nameOf(*entry);
        if (name != "." && name != "..") {
            names.push_back(std::move(name));
        }
    }
    const int readError = errno;
    (void)closeDirectory(directory);
    errno = readError;
    return readError == 0;
}

} // namespace

bool FileSystem::ListDirectory(const std::string& path, std::vector<std::string>& names) {
    names.clear();
#ifdef _WIN32
    const bool listed = ReadNames(
        _wopendir(FilePath::Widen(path).c_str()), _wreaddir, _wclosedir,
        [](const _wdirent& entry) { return FilePath::Utf8(entry.d_name); }, names);
#else
    const bool listed = ReadNames(
        opendir(path.c_str()), readdir, closedir,
        [](const dirent& entry) { return std::string(entry.d_name); }, names);
#endif
    if (!listed) {
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

bool FileSystem::SetModifiedTime(const std::string& path, std::time_t modifiedTime) {
#ifdef _WIN32
    struct __utimbuf64 times;
    times.actime = modifiedTime;
    times.modtime = modifiedTime;
    return _wutime64(FilePath::Widen(path).c_str(), &times) == 0;
#else
    struct utimbuf times;
    times.actime = modifiedTime;
    times.modtime = modifiedTime;
    return utime(path.c_str(), &times) == 0;
#endif
}

bool FileSystem::Remove(const std::string& path) {
#ifdef _WIN32
    return _wremove(FilePath::Widen(path).c_str()) == 0;
#else
    return std::remove(path.c_str()) == 0;
#endif
}

bool FileSystem::IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

std::string FileSystem::Join(const std::string& directory, const std::string& name) {
    if (directory.empty()) {
        return name;
    }
    if (IsSeparator(directory.back())) {
        return directory + name;
    }
    return directory + "/" + name;
}

std::string FileSystem::BaseName(const std::string& path) {
    size_t start = path.size();
    while (start > 0 && !IsSeparator(path[start - 1])) {
        --start;
    }
    return path.substr(start);
}

#ifdef _WIN32

bool FileSystem::Identity(const std::string& path, FileIdentity& identity) {
    const HANDLE file = CreateFileW(FilePath::Widen(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    const BOOL known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!known) {
        errno = EIO;
        return false;
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

#else

bool FileSystem::Identity(const std::string& path, FileIdentity& identity) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    identity.volume = static_cast<uint64_t>(info.st_dev);
    identity.file = static_cast<uint64_t>(info.st_ino);
    return true;
}

#endif
