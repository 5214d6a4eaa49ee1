// Stored member names as text: UTF-8 where the bytes are UTF-8, otherwise
// Shift-JIS (code page 932), and nothing for bytes that are neither.
#include "MemberNameText.h"
#include "Utf8Text.h"
#include "WindowsFileName.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

namespace {

struct DecodeCase {
    const char* what;
    std::string stored;
    std::optional<std::string> text; // none: refused
};

TEST(MemberNameTextTest, DecodesUtf8ElseShiftJis) {
    const DecodeCase cases[] = {
        {"ASCII", "voice.adx", "voice.adx"},
        {"UTF-8 as it stands", "\xE3\x83\x9C\xE3\x82\xA4\xE3\x82\xB9.adx", "ボイス.adx"},
        {"UTF-8 Latin", "caf\xC3\xA9", "café"},
        {"Shift-JIS kana", "\x83\x7B\x83\x43\x83\x58.adx", "ボイス.adx"},
        // Trail byte 0x5C: a character, not a backslash.
        {"so, trail 0x5C", "\x83\x5C", "ソ"},
        {"hyou, trail 0x5C", "\x95\x5C.bin", "表.bin"},
        {"nou, trail 0x5C", "\x94\x5C", "能"},
        {"ASCII backslash stays one", "a\\b\x83\x5C", "a\\bソ"},
        {"half-width katakana", "\xB1\xDD", "ｱﾝ"},
        {"NEC special row", "\x87\x40", "①"},
        {"IBM extension", "\xFA\x40", "ⅰ"},
        {"user-defined area", "\xF0\x40\xF9\xFC", "\xEE\x80\x80\xEE\x9D\x97"},
        {"lead byte at the end", "ab\x83", std::nullopt},
        {"trail byte out of range", "\x83\x30", std::nullopt},
        {"trail byte 0x7F", "\x83\x7F", std::nullopt},
        {"unassigned code", "\x85\x40", std::nullopt},
        {"byte 0x80", "\x80", std::nullopt},
        {"byte 0xA0", "\xA0", std::nullopt},
        {"byte 0xFF", "a\xFF", std::nullopt},
        // Not UTF-8 (overlong, cut short, surrogate, past U+10FFFF): read as
        // Shift-JIS, where they may mean something.
        {"overlong slash", "\xC0\xAF", "ﾀｯ"},
        {"surrogate", "\xED\xA0\x80", std::nullopt},
        {"past U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
        {"UTF-8 cut short", "\xE3\x83", "繝"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(MemberNameText::Decode(c.stored), c.text) << c.what;
    }
}

TEST(MemberNameTextTest, Utf8RoundTripsEveryCodePointKind) {
    const uint32_t codePoints[] = {0x0,    0x7F,   0x80,   0x7FF,   0x800,
                                   0xD7FF, 0xE000, 0xFFFD, 0x10000, 0x10FFFF};
    for (const uint32_t codePoint : codePoints) {
        std::string text;
        Utf8Text::Append(codePoint, text);
        size_t positionBytes = 0;
        uint32_t decoded = 0xFFFFFFFF;
        ASSERT_TRUE(Utf8Text::Next(text, positionBytes, decoded)) << std::hex << codePoint;
        EXPECT_EQ(decoded, codePoint);
        EXPECT_EQ(positionBytes, text.size());
    }
}

// Any bytes: a decoded name is UTF-8, and the key of a key is itself.
TEST(MemberNameTextTest, AnyBytesGiveUtf8OrNothing) {
    std::mt19937 random(22); // NOLINT(bugprone-random-generator-seed): a run is repeatable
    for (int round = 0; round < 20000; ++round) {
        std::string stored(random() % 12, '\0');
        for (char& c : stored) {
            c = static_cast<char>(0x5C + random() % 0xA4); // mostly high bytes
        }
        const std::optional<std::string> text = MemberNameText::Decode(stored);
        if (text) {
            ASSERT_TRUE(Utf8Text::IsValid(*text)) << round;
            const std::string key = WindowsFileName::Key(*text);
            ASSERT_EQ(WindowsFileName::Key(key), key) << round;
        }
    }
}

} // namespace
