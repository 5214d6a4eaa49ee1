// The file questions and reads of corvina-encode, the same on POSIX and
// Windows. Paths are UTF-8; on Windows they are opened as wide strings, so
// any name the system allows works.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class PathKind { kMissing, kDirectory, kFile, kOther };

// What `path` names now: kOther is a device, a pipe or a socket (on
// Windows anything that is no directory is kFile).
PathKind KindOf(const std::string& path);

// True when both paths name one existing file (device and inode, or the
// volume and file index on Windows), whatever their spelling.
bool SameFile(const std::string& first, const std::string& second);

// The whole file; false with the reason in `error`.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// The name of `path` without its directory and its last extension.
std::string StemOf(const std::string& path);
// `directory` and `name` with one separator between them.
std::string JoinPath(const std::string& directory, const std::string& name);

#ifdef _WIN32
// UTF-8 and the system's UTF-16, both ways.
std::wstring Widen(const std::string& text);
std::string Utf8(const std::wstring& text);
#endif
