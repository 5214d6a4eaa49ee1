// One loop record of an ADX stream, as the parser filter hands it out
// through IAdxParserControl (declared in corvina.h, which includes this).
// Kept free of platform headers so that the ADX core parses into the very
// same record.
#pragma once

#include <cstdint>

// Six 32-bit integers in exactly this order (24 bytes); the parser's
// property page reads them as 24-byte blocks.
struct AdxLoopPoint {
    std::int32_t startSample = 0; // first sample of the loop, per channel
    std::int32_t startByte = 0;   // from the start of the ADX stream
    std::int32_t startTrim = 0;   // 0-255
    std::int32_t endSample = 0;   // last sample of the loop, per channel
    std::int32_t endByte = 0;     // from the start of the ADX stream
    std::int32_t endTrim = 0;     // 0-255
};
static_assert(sizeof(AdxLoopPoint) == 24, "AdxLoopPoint is six 32-bit integers");
