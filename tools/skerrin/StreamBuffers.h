// The stdio buffer size of the archive and of each output file.
#pragma once

#include <cstddef>

struct StreamBuffers {
    // Member data still moves 2048 bytes at a time, but the system sees
    // large reads and writes; two such buffers stay in a core's L2 cache,
    // which measured faster than 1 MiB.
    static constexpr size_t kStreamBufferBytes = 128 * 1024;
};
