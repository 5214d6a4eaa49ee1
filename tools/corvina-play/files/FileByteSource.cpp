#include "files/FileByteSource.h"

size_t FileByteSource::ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) {
    // The archive reader takes a short count for an error as for the end.
    size_t gotBytes = 0;
    (void)file_.ReadAt(positionBytes, destination, byteCount, gotBytes);
    return gotBytes;
}

bool FileByteSource::SizeBytes(uint64_t& sizeBytes) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file_.get(), &size)) {
        return false;
    }
    sizeBytes = static_cast<uint64_t>(size.QuadPart);
    return true;
}
