#include "MemberNameText.h"

#include "ShiftJisTable.h"
#include "Utf8Text.h"

#include <cstdint>

std::optional<std::string> MemberNameText::Decode(std::string_view storedBytes) {
    if (Utf8Text::IsValid(storedBytes)) {
        return std::string(storedBytes);
    }
    return FromShiftJis(storedBytes);
}

std::optional<std::string> MemberNameText::FromShiftJis(std::string_view shiftJisBytes) {
    std::string text;
    text.reserve(shiftJisBytes.size() * 3 / 2);
    const size_t byteCount = shiftJisBytes.size();
    for (size_t i = 0; i < byteCount; ++i) {
        const auto lead = static_cast<uint8_t>(shiftJisBytes[i]);
        uint32_t codePoint = 0;
        if (lead < 0x80) {
            codePoint = lead; // ASCII as it stands, 0x5C a backslash
        } else if (lead >= 0xA1 && lead <= 0xDF) {
            codePoint = 0xFF61 + (lead - 0xA1U); // half-width katakana
        } else if (ShiftJisTable::IsLead(lead) && i + 1 < byteCount) {
            codePoint = ShiftJisTable::CodePoint(lead, static_cast<uint8_t>(shiftJisBytes[++i]));
        }
        if (codePoint == 0 && lead != 0) {
            return std::nullopt;
        }
        Utf8Text::Append(codePoint, text);
    }
    return text;
}
