// The file questions and reads of corvina-encode, the same on POSIX and
// Windows. Paths are UTF-8 (FilePath converts them for the system).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class PathKind { kMissing, kDirectory, kFile, kOther };

// What `path` names now: kOther is a device, a pipe or a socket (on
// Windows anything that is no directory is kFile).
PathKind KindOf(const std::string& path);

// The whole file; false with the reason in `error`.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

