// A Win32 file handle that closes itself.
#pragma once

#include <windows.h>

#include <cstddef>
#include <utility>

class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { reset(); }
    FileHandle(FileHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // An existing file for reading, shared with writers as any player does;
    // invalid (see GetLastError) when it cannot be opened.
    static FileHandle OpenForReading(const wchar_t* path, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
        return FileHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, flags, nullptr));
    }

    // Up to `byteCount` bytes from byte `position`, in as many reads as the
    // system needs, until the file ends: `gotBytes` says how many came. Each
    // read is positioned by itself, so threads may share the handle and its
    // file pointer is left alone. ERROR_SUCCESS (also at the file's end) or
    // the system's error.
    DWORD ReadAt(unsigned long long position, void* destination, std::size_t byteCount,
                 std::size_t& gotBytes) const;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    explicit operator bool() const { return valid(); }
    void reset() {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
