// The few file-system services skerrin needs beyond stdio, the same on
// POSIX and Windows. Paths are UTF-8, given to Windows as UTF-16. Failures
// leave errno set.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class FileSystem {
public:
    struct FileStatus {
        bool isDirectory = false;
        bool isRegular = false;
        uint64_t sizeBytes = 0;
        std::time_t modifiedTime = 0;
    };

    static bool Status(const std::string& path, FileStatus& status);
    static bool Exists(const std::string& path);
    // Whether two existing paths name the same file.
    static bool SameFile(const std::string& path, const std::string& otherPath);
    // Creates the directory and any missing parents; true when it exists.
    static bool MakeDirectories(const std::string& path);
    // The names in a directory, without "." and "..", in byte order.
    static bool ListDirectory(const std::string& path, std::vector<std::string>& names);
    static bool SetModifiedTime(const std::string& path, std::time_t modifiedTime);
    static bool Remove(const std::string& path);

    static bool IsSeparator(char c);
    // DIRECTORY/NAME, or NAME when the directory is empty.
    static std::string Join(const std::string& directory, const std::string& name);
    // What follows the last separator.
    static std::string BaseName(const std::string& path);

    // Which file a path names, whatever its spelling: device and inode, or
    // Windows' volume serial number and file index.
    struct FileIdentity {
        uint64_t volume = 0;
        uint64_t file = 0;
        bool operator==(const FileIdentity& other) const {
            return volume == other.volume && file == other.file;
        }
    };
    static bool Identity(const std::string& path, FileIdentity& identity);

    // Outputs are written as NAME.skerrin-PID.tmp until complete.
    static constexpr const char* kTemporaryInfix = ".skerrin-";
    static constexpr const char* kTemporarySuffix = ".tmp";
};
