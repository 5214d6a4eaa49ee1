// Windows' file-name rules, host-independent: the key two names share when
// they are one file, the device names, and the 8.3 aliases.
#include "WindowsFileName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct KeyCase {
    std::string name;
    std::string key;
};

TEST(WindowsFileNameTest, KeyFoldsCaseAndDropsTrailingDotsAndSpaces) {
    const KeyCase cases[] = {
        {"voice.adx", "VOICE.ADX"},
        {"voice.adx.", "VOICE.ADX"},
        {"voice.adx ", "VOICE.ADX"},
        {"voice.adx. . ", "VOICE.ADX"},
        {" lead.adx", " LEAD.ADX"},
        {"...", ""},
        {"ÉTÉ.adx", "ÉTÉ.ADX"},
        {"été.adx", "ÉTÉ.ADX"},
        {"ÿ", "Ÿ"},
        {"ŀ", "Ŀ"},         // Latin Extended-A
        {"ǆ", "Ǆ"},         // Latin Extended-B
        {"αβγ ς", "ΑΒΓ Σ"}, // Greek, final sigma too
        {"привет", "ПРИВЕТ"},
        {"ѐ", "Ѐ"},
        {"ａｂｃ", "ＡＢＣ"}, // fullwidth Latin
        {"ß", "ß"},           // no single upper-case letter
        {"µ", "µ"},           // NTFS leaves these alone
        {"ı", "ı"},
        {"ボイス", "ボイス"},
        {"a\xFF", "A\xFF"}, // not UTF-8: ASCII letters only
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(WindowsFileName::Key(c.name), c.key) << c.name;
    }
}

TEST(WindowsFileNameTest, Devices) {
    const char* const devices[] = {"CON",  "con",      "NUL.adx", "Com7 .bin", "nul.",
                                   "aux ", "LPT0",     "COM9",    "CONIN$",    "conout$.txt",
                                   "COM¹", "com².adx", "LPT³",    "lpt¹.bin"};
    for (const char* name : devices) {
        EXPECT_TRUE(WindowsFileName::IsDevice(name)) << name;
    }
    const char* const files[] = {"CONS",  "nul2", "COM10", "LPT",       "COM⁴",
                                 "COM¹¹", "xCON", "CON_",  "con~1.adx", ".nul"};
    for (const char* name : files) {
        EXPECT_FALSE(WindowsFileName::IsDevice(name)) << name;
    }
}

struct AliasCase {
    std::string name;
    unsigned ordinal;
    std::string alias; // empty: fits 8.3
};

TEST(WindowsFileNameTest, ShortAlias) {
    const AliasCase cases[] = {
        {"bgm_stage01.adx", 1, "BGM_ST~1.ADX"},
        {"bgm_stage02.adx", 2, "BGM_ST~2.ADX"},
        {"voice.adx", 1, ""},
        {"VOICE.ADX", 1, ""},
        {"12345678.abc", 1, ""},
        {"123456789.abc", 1, "123456~1.ABC"},
        {"music.adx2", 1, "MUSIC~1.ADX"},
        {"a b.txt", 1, "AB~1.TXT"},
        {"a.b.c", 1, "AB~1.C"},
        {"x+y.bin", 3, "X_Y~3.BIN"},
        {"ボイス.adx", 1, "___~1.ADX"},
        {"noextensionatall", 4, "NOEXTE~4"},
        {"voice.adx.", 1, ""},
    };
    for (const AliasCase& c : cases) {
        EXPECT_EQ(WindowsFileName::ShortAlias(c.name, c.ordinal), c.alias) << c.name;
    }
}

} // namespace
