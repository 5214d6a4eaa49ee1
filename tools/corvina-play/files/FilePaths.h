// File questions corvina-play asks before it builds a graph: what a path
// names, whether two paths name one file, and a few bytes of a file.
#pragma once

#include <windows.h>

#include <string>

enum class PathKind { kMissing, kDirectory, kDiskFile, kOther };

// What `path` names now: a device (the null device, a pipe) is kOther.
PathKind KindOf(const std::wstring& path);

// Why `path` cannot be an input, in words, or empty; its size otherwise.
std::string InputProblem(const std::wstring& path, long long& sizeBytes);

// True when both paths name one existing file.
bool SameFile(const std::wstring& first, const std::wstring& second);

// Up to `byteCount` bytes of `path` from `offset`; false when it cannot be
// read. `gotBytes` is short at the end of the file.
bool ReadBytesAt(const std::wstring& path, long long offset, unsigned char* bytes, DWORD byteCount,
                 DWORD& gotBytes);

