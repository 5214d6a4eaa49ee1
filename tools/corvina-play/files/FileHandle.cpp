#include "files/FileHandle.h"

namespace {

// ReadFile counts in DWORDs; a gibibyte at a time keeps each read in range.
constexpr std::size_t kMaxReadBytes = 0x40000000;

} // namespace

DWORD FileHandle::ReadAt(unsigned long long position, void* destination, std::size_t byteCount,
                         std::size_t& gotBytes) const {
    auto* const bytes = static_cast<unsigned char*>(destination);
    gotBytes = 0;
    while (gotBytes < byteCount) {
        OVERLAPPED at = {};
        const unsigned long long from = position + gotBytes;
        at.Offset = static_cast<DWORD>(from & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const std::size_t bytesLeft = byteCount - gotBytes;
        const auto chunkBytes =
            static_cast<DWORD>(bytesLeft < kMaxReadBytes ? bytesLeft : kMaxReadBytes);
        DWORD got = 0;
        if (!ReadFile(handle_, bytes + gotBytes, chunkBytes, &got, &at)) {
            const DWORD error = GetLastError();
            return error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
        }
        if (got == 0) {
            break;
        }
        gotBytes += got;
    }
    return ERROR_SUCCESS;
}
