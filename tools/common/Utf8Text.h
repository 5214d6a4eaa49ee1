// Reading and writing UTF-8 one code point at a time, strictly: overlong
// forms, surrogates and values past U+10FFFF are not UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Utf8Text {
public:
    // The code point that starts at `positionBytes`, which then moves past
    // it; false (nothing moved) when the bytes there are not UTF-8.
    // positionBytes must lie before the end.
    static bool Next(std::string_view text, size_t& positionBytes, uint32_t& codePoint);
    static bool IsValid(std::string_view text);
    // codePoint must be at most U+10FFFF and no surrogate.
    static void Append(uint32_t codePoint, std::string& text);
};
