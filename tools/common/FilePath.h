// Paths inside the tools are UTF-8 strings; on Windows they go to the
// system as UTF-16, converted at each call, so that any name the system
// allows works whatever the console's code page.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class FilePath {
public:
#ifdef _WIN32
    static std::wstring Widen(const std::string& utf8);
    static std::string Utf8(const std::wstring& wide);
    // wmain's arguments after the program's name, as UTF-8.
    static std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);
#endif
    // std::fopen for a UTF-8 path.
    static std::FILE* Open(const std::string& path, const char* mode);
    // True when both paths name one existing file (device and inode, or the
    // volume and file index on Windows), whatever their spelling.
    static bool SameFile(const std::string& first, const std::string& second);
    // The name of `path` without its directory and its last extension.
    static std::string Stem(const std::string& path);
    // `directory` and `name` with one separator between them: the user's
    // own (a backslash where `directory` has one, else a slash).
    static std::string Join(const std::string& directory, const std::string& name);
};
