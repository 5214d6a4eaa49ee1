// A fixture file in the temporary directory, removed again at destruction.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testgraph {

class TempFile {
public:
    // Writes `bytes`; Written() tells whether every byte reached the file.
    explicit TempFile(const std::vector<std::uint8_t>& bytes);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::wstring& Path() const { return path_; }
    bool Written() const { return written_; }

private:
    std::wstring path_;
    bool written_ = false;
};

} // namespace testgraph
