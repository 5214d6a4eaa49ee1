#include "AfsSpanSource.h"

#include <cstring>

namespace afs {

size_t AfsSpanSource::ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) {
    if (positionBytes >= byteCount_) {
        return 0;
    }
    const size_t bytesRemaining = byteCount_ - static_cast<size_t>(positionBytes);
    const size_t copyBytes = byteCount < bytesRemaining ? byteCount : bytesRemaining;
    if (copyBytes != 0) {
        std::memcpy(destination, bytes_ + positionBytes, copyBytes);
    }
    return copyBytes;
}

bool AfsSpanSource::SizeBytes(uint64_t& sizeBytes) {
    sizeBytes = byteCount_;
    return true;
}

} // namespace afs
