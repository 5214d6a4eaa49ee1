// Code page 932 (Microsoft's Shift-JIS): which character each double-byte
// code stands for. The data is generated (scripts/generate-name-tables.py).
#pragma once

#include <cstddef>
#include <cstdint>

class ShiftJisTable {
public:
    // A lead byte starts a double-byte code: 0x81-0x9F, 0xE0-0xFC.
    static bool IsLead(uint8_t byte) {
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    }
    // The code point of a lead and trail byte, 0 where code page 932 has
    // none (a trail outside 0x40-0xFC, 0x7F, or an unassigned code).
    static uint32_t CodePoint(uint8_t lead, uint8_t trail) {
        if (!IsLead(lead) || trail < 0x40 || trail > 0xFC || trail == 0x7F) {
            return 0;
        }
        const size_t column = static_cast<size_t>(trail - 0x40 - (trail > 0x7F ? 1 : 0));
        if (lead >= kFirstUserLead && lead <= kLastUserLead) {
            // The user-defined area: the private-use characters in order.
            return 0xE000 + static_cast<uint32_t>(lead - kFirstUserLead) * kTrailCount + column;
        }
        const size_t leadIndex =
            static_cast<size_t>(lead < 0xE0 ? lead - 0x81 : lead - 0xE0 + 0x1F);
        const uint8_t row = kRowOfLead[leadIndex];
        return row == kNoRow ? 0 : kRows[row][column];
    }

    static constexpr size_t kLeadCount = 60;
    static constexpr size_t kTrailCount = 188;
    static constexpr size_t kRowCount = 45;
    static constexpr uint8_t kNoRow = 0xFF;
    static constexpr uint8_t kFirstUserLead = 0xF0;
    static constexpr uint8_t kLastUserLead = 0xF9;

private:
    // Per lead byte (0x81-0x9F, then 0xE0-0xFC) its row, or kNoRow.
    static const uint8_t kRowOfLead[kLeadCount];
    // Per row and trail byte (0x40-0xFC without 0x7F), the code point.
    static const uint16_t kRows[kRowCount][kTrailCount];
};
