#include "Utf8Text.h"

#include <cassert>

bool Utf8Text::Next(std::string_view text, size_t& positionBytes, uint32_t& codePoint) {
    assert(positionBytes < text.size());
    const size_t bytesRemaining = text.size() - positionBytes;
    const auto byteAt = [&](size_t i) { return static_cast<uint8_t>(text[positionBytes + i]); };
    const uint8_t lead = byteAt(0);
    if (lead < 0x80) {
        codePoint = lead;
        positionBytes += 1;
        return true;
    }
    // The length, the lead's payload and the range of the second byte,
    // which rules out overlong forms, surrogates and values past U+10FFFF.
    size_t lengthBytes = 0;
    uint8_t secondLow = 0x80;
    uint8_t secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        lengthBytes = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        lengthBytes = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        lengthBytes = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return false;
    }
    if (bytesRemaining < lengthBytes || byteAt(1) < secondLow || byteAt(1) > secondHigh) {
        return false;
    }
    uint32_t value = lead & (0x7FU >> lengthBytes);
    for (size_t i = 1; i < lengthBytes; ++i) {
        const uint8_t continuation = byteAt(i);
        if ((continuation & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (continuation & 0x3FU);
    }
    codePoint = value;
    positionBytes += lengthBytes;
    return true;
}

bool Utf8Text::IsValid(std::string_view text) {
    uint32_t codePoint = 0;
    for (size_t positionBytes = 0; positionBytes < text.size();) {
        if (!Next(text, positionBytes, codePoint)) {
            return false;
        }
    }
    return true;
}

void Utf8Text::Append(uint32_t codePoint, std::string& text) {
    assert(codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF));
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
        return;
    }
    const size_t lengthBytes = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    static constexpr uint8_t kLeadMarks[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    text += static_cast<char>(kLeadMarks[lengthBytes] | (codePoint >> (6 * (lengthBytes - 1))));
    for (size_t i = lengthBytes - 1; i > 0; --i) {
        text += static_cast<char>(0x80 | ((codePoint >> (6 * (i - 1))) & 0x3F));
    }
}
