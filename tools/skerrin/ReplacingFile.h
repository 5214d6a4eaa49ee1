// An output file that appears whole or not at all: written to a temporary
// file beside it and renamed over it by Commit. A file never committed (a
// failure, Ctrl+C) is removed, and an old file of the name stays as it was.
#pragma once

#include "StdioFile.h"

#include <cstdio>
#include <string>

class ReplacingFile {
public:
    explicit ReplacingFile(std::string path) : path_(std::move(path)) {}
    ~ReplacingFile() { Discard(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file; false with errno set.
    bool Create();
    FILE* Get() const { return file_.Get(); }
    const std::string& Path() const { return path_; }

    // Closes the temporary file and renames it over the output; false with
    // errno set, the temporary file then removed.
    bool Commit();
    // Closes and removes the temporary file.
    void Discard();

private:
    std::string path_;
    std::string temporaryPath_; // empty when there is none
    StdioFile file_;
};
