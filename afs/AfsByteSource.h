// Where an AfsArchive gets its bytes: a file, a span in memory, anything
// that can read at a position. The archive reader does no I/O of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace afs {

class AfsByteSource {
public:
    virtual ~AfsByteSource() = default;

    // Copies up to byteCount bytes starting at positionBytes into
    // destination; returns how many arrived. Fewer than asked means the data
    // ends there or a read failed.
    virtual size_t ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) = 0;

    // The source's length in bytes, when known: lets the reader refuse a
    // table or name list that cannot be there without allocating for it.
    virtual bool SizeBytes(uint64_t& sizeBytes) = 0;
};

} // namespace afs
