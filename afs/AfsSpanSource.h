// An archive held in memory, e.g. a mapped file or a test's bytes.
#pragma once

#include "AfsByteSource.h"

namespace afs {

class AfsSpanSource final : public AfsByteSource {
public:
    AfsSpanSource(const uint8_t* bytes, size_t byteCount) : bytes_(bytes), byteCount_(byteCount) {}

    size_t ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) override;
    bool SizeBytes(uint64_t& sizeBytes) override;

private:
    const uint8_t* bytes_;
    size_t byteCount_;
};

} // namespace afs
