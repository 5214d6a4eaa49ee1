#include "FileSource.h"

size_t FileSource::ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) {
    if (!file_.Seek(positionBytes)) {
        return 0;
    }
    return std::fread(destination, 1, byteCount, file_.Get());
}
