#include "framework/filters/MulDiv64.h"

namespace {

// A 96-bit unsigned (or two's-complement) value as a 32-bit high part and a
// 64-bit low part; wide enough for |a| * |b| + |d|, which stays below 2^95.
struct Wide96 {
    std::uint32_t high;
    std::uint64_t low;
};

Wide96 MultiplyMagnitudes(std::uint64_t aMagnitude, std::uint32_t bMagnitude) {
    const std::uint64_t lowProduct = (aMagnitude & 0xFFFFFFFFu) * bMagnitude;
    // At most (2^32 - 1)^2 + 2^32 - 1, so this cannot overflow.
    const std::uint64_t highProduct = (aMagnitude >> 32) * bMagnitude + (lowProduct >> 32);
    Wide96 product;
    product.high = static_cast<std::uint32_t>(highProduct >> 32);
    product.low = (highProduct << 32) | (lowProduct & 0xFFFFFFFFu);
    return product;
}

// value += addend (sign-extended to 96 bits), modulo 2^96.
void AddSigned(Wide96& value, std::int64_t addend) {
    const std::uint64_t addendLow = static_cast<std::uint64_t>(addend);
    const std::uint32_t addendHigh = addend < 0 ? 0xFFFFFFFFu : 0u;
    const std::uint64_t sum = value.low + addendLow;
    const std::uint32_t carry = sum < value.low ? 1u : 0u;
    value.low = sum;
    value.high = value.high + addendHigh + carry;
}

void Negate(Wide96& value) {
    value.low = 0 - value.low;
    value.high = ~value.high + (value.low == 0 ? 1u : 0u);
}

} // namespace

std::int64_t MulDiv64(std::int64_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    const std::uint64_t aMagnitude =
        a < 0 ? 0 - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
    const std::uint32_t bMagnitude =
        b < 0 ? 0 - static_cast<std::uint32_t>(b) : static_cast<std::uint32_t>(b);
    const std::uint32_t cMagnitude =
        c < 0 ? 0 - static_cast<std::uint32_t>(c) : static_cast<std::uint32_t>(c);
    bool negative = (a < 0) != (b < 0);

    Wide96 value = MultiplyMagnitudes(aMagnitude, bMagnitude);
    if (d != 0) {
        // d is added to the signed product, so against a negative product it
        // is subtracted from the magnitude.
        AddSigned(value, negative ? -static_cast<std::int64_t>(d) : d);
        if (value.high & 0x80000000u) {
            Negate(value);
            negative = !negative;
        }
    }
    if (c < 0) {
        negative = !negative;
    }

    const std::int64_t saturated = negative ? INT64_MIN : INT64_MAX;
    if (value.high >= cMagnitude) {
        return saturated; // also every zero divisor
    }

    // Long division in 32-bit digits; value.high < cMagnitude, so the top
    // digit of the quotient is 0 and each partial dividend fits 64 bits.
    const std::uint64_t middle = (static_cast<std::uint64_t>(value.high) << 32) | (value.low >> 32);
    const std::uint64_t quotientHigh = middle / cMagnitude;
    const std::uint64_t remainder = middle % cMagnitude;
    const std::uint64_t bottom = (remainder << 32) | (value.low & 0xFFFFFFFFu);
    const std::uint64_t quotient = (quotientHigh << 32) | (bottom / cMagnitude);

    // A magnitude of 2^63 or more does not fit either; saturate it too (for a
    // negative result of exactly 2^63 that is also the exact value).
    if (quotient >= (static_cast<std::uint64_t>(1) << 63)) {
        return saturated;
    }
    const std::int64_t magnitude = static_cast<std::int64_t>(quotient);
    return negative ? -magnitude : magnitude;
}
