#include "files/FileByteSource.h"

size_t FileByteSource::ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) {
    size_t total = 0;
    while (total < byteCount) {
        OVERLAPPED at = {};
        const uint64_t from = positionBytes + total;
        at.Offset = static_cast<DWORD>(from & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const size_t left = byteCount - total;
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadFile(file_.get(), destination + total, chunk, &got, &at) || got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

bool FileByteSource::SizeBytes(uint64_t& sizeBytes) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file_.get(), &size)) {
        return false;
    }
    sizeBytes = static_cast<uint64_t>(size.QuadPart);
    return true;
}
