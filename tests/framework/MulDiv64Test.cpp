// MulDiv64 is pure, so this file builds natively as well as for Windows.
#include "framework/filters/MulDiv64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

namespace {

struct MulDivCase {
    std::int64_t a;
    std::int32_t b;
    std::int32_t c;
    std::int32_t d;
    std::int64_t expected;
};

// Keeps the generated test names readable.
void PrintTo(const MulDivCase& t, std::ostream* out) {
    *out << "(" << t.a << ", " << t.b << ", " << t.c << ", " << t.d << ")";
}

class MulDiv64Values : public ::testing::TestWithParam<MulDivCase> {};

TEST_P(MulDiv64Values, ComputesExactTruncatedQuotient) {
    const MulDivCase& t = GetParam();
    EXPECT_EQ(MulDiv64(t.a, t.b, t.c, t.d), t.expected)
        << "MulDiv64(" << t.a << ", " << t.b << ", " << t.c << ", " << t.d << ")";
}

constexpr std::int64_t kPow40 = std::int64_t{1} << 40;
constexpr std::int64_t kPow62 = std::int64_t{1} << 62;

INSTANTIATE_TEST_SUITE_P(
    WorkedValues, MulDiv64Values,
    ::testing::Values(MulDivCase{3, 10000000, 44100, 0, 680}, MulDivCase{-7, 3, 2, 0, -10},
                      MulDivCase{-7, 3, 2, -1, -11}, MulDivCase{7, 3, -2, 0, -10},
                      MulDivCase{1, 1, 3, -2, 0},
                      MulDivCase{kPow40, 10000000, 48000, 24000, 229064922453333}));

// A zero divisor saturates by the sign alone.
INSTANTIATE_TEST_SUITE_P(ZeroDivisor, MulDiv64Values,
                         ::testing::Values(MulDivCase{5, 1, 0, 0, INT64_MAX},
                                           MulDivCase{-5, 1, 0, 0, INT64_MIN},
                                           MulDivCase{0, 9, 0, 0, INT64_MAX}));

// Results near and beyond the 64-bit range, through the full 96-bit product.
INSTANTIATE_TEST_SUITE_P(
    WideRange, MulDiv64Values,
    ::testing::Values(MulDivCase{INT64_MAX, INT32_MAX, INT32_MAX, 0, INT64_MAX},
                      MulDivCase{INT64_MIN, 1, 1, 0, INT64_MIN},
                      MulDivCase{INT64_MIN, INT32_MIN, INT32_MIN, 0, INT64_MIN},
                      MulDivCase{1, INT32_MIN, 1, 0, INT32_MIN},
                      MulDivCase{INT64_MAX, 3, 4, 0, 6917529027641081855},
                      MulDivCase{kPow62, 2, 2, 1, kPow62},
                      MulDivCase{-kPow62, 4, 2, 0, INT64_MIN}, // exactly -2^63
                      MulDivCase{kPow62, 4, 1 << 30, 0, std::int64_t{1} << 34}));

// Quotients from 2^63 to 2^64 - 1 pass the high-part test but still do not
// fit; they saturate like every other overflow instead of wrapping.
INSTANTIATE_TEST_SUITE_P(QuotientAbove63Bits, MulDiv64Values,
                         ::testing::Values(MulDivCase{INT64_MAX, 2, 1, 0, INT64_MAX},
                                           MulDivCase{INT64_MIN, 1, -1, 0, INT64_MAX},
                                           MulDivCase{INT64_MIN, -1, 1, 0, INT64_MAX},
                                           MulDivCase{kPow62, 2, 1, 0, INT64_MAX},
                                           MulDivCase{-kPow62, 3, 1, 0, INT64_MIN},
                                           MulDivCase{INT64_MAX, 2, -1, 2, INT64_MIN},
                                           MulDivCase{INT64_MAX, INT32_MAX, INT32_MAX - 1, 0,
                                                      INT64_MAX}));

} // namespace
