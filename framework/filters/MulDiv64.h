// Exact 64-bit scaling: (a * b + d) / c without intermediate overflow.
// Pure C++ with no platform headers, so the native build can test it too.
#pragma once

#include <cstdint>

// The quotient is truncated toward zero; a quotient that does not fit a
// signed 64-bit value (including a zero divisor) saturates to INT64_MAX or
// INT64_MIN by the sign of the exact result.
std::int64_t MulDiv64(std::int64_t a, std::int32_t b, std::int32_t c, std::int32_t d);
