#include "TempFile.h"

#include <cstdio>

namespace testgraph {

TempFile::TempFile(const std::vector<std::uint8_t>& bytes) {
    WCHAR directory[MAX_PATH] = {};
    WCHAR name[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH, directory) == 0 ||
        GetTempFileNameW(directory, L"adx", 0, name) == 0) {
        return;
    }
    path_ = name;
    FILE* file = _wfopen(path_.c_str(), L"wb");
    if (file == nullptr) {
        return;
    }
    const bool complete = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written_ = fclose(file) == 0 && complete;
}

TempFile::~TempFile() {
    if (!path_.empty()) {
        DeleteFileW(path_.c_str());
    }
}

} // namespace testgraph
