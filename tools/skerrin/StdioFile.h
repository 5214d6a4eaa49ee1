// A FILE* that closes itself. Close() is the checked close for files that
// were written; the destructor closes whatever is left open, on the paths
// where a failure was reported already.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class StdioFile {
public:
    StdioFile() = default;
    ~StdioFile();
    StdioFile(StdioFile&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    StdioFile& operator=(StdioFile&& other) noexcept;
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    // Null on failure, with errno set. The path is UTF-8 (wide on Windows).
    static StdioFile Open(const std::string& path, const char* mode);

    explicit operator bool() const { return file_ != nullptr; }
    FILE* Get() const { return file_; }

    // 64-bit positions on every platform (archives up to 4 GiB).
    bool Seek(uint64_t positionBytes);
    // The size of the open file; false when it has none (a pipe).
    bool SizeBytes(uint64_t& sizeBytes) const;
    // A full buffer of the given size for the stream (nothing when it cannot
    // be had: the stream works as well, only slower).
    void SetBuffer(char* buffer, size_t bufferBytes);

    // Flushes and closes; false (errno set) when data may have been lost.
    bool Close();

private:
    FILE* file_ = nullptr;
};
