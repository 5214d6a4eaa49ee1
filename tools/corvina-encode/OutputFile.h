// An output file that appears whole or not at all: written to a temporary
// file beside it and renamed over it by Commit. A file never committed
// (a failure, Ctrl+C) is removed, so no partial output is ever left behind.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `path` (UTF-8). False with the reason
    // in `error`.
    bool Create(const std::string& path, std::string& error);
    bool Write(const void* bytes, std::size_t byteCount, std::string& error);
    // Closes the temporary file and renames it over the output (replacing a
    // file of that name). False with the reason in `error`; the temporary
    // file is then gone.
    bool Commit(std::string& error);
    // Closes and removes the temporary file.
    void Discard();

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temporaryPath_;
};
