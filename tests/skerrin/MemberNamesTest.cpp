// Which file each member becomes: names that are one file on Windows are
// kept apart there (case, trailing dots and spaces, 8.3 aliases), and only
// equal names elsewhere; names that cannot be files are refused.
#include "MemberNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ClaimCase {
    const char* what;
    bool windowsNames;
    std::vector<std::string> names;
    std::vector<std::string> written;
};

TEST(MemberNamesTest, ClaimKeepsNamesOfOneFileApart) {
    const ClaimCase cases[] = {
        {"same name", false, {"m", "m", "m"}, {"m", "m~1", "m~2"}},
        {"case differs, POSIX", false, {"voice.adx", "VOICE.ADX"}, {"voice.adx", "VOICE.ADX"}},
        {"case differs", true, {"voice.adx", "VOICE.ADX"}, {"voice.adx", "VOICE~1.ADX"}},
        {"non-ASCII case", true, {"été.adx", "ÉTÉ.adx"}, {"été.adx", "ÉTÉ~1.adx"}},
        {"trailing dot and space",
         true,
         {"voice.adx", "voice.adx.", "voice.adx "},
         {"voice.adx", "voice~1.adx", "voice~2.adx"}},
        {"trailing dot alone", true, {"a.bin."}, {"a.bin"}},
        {"trailing dot, POSIX", false, {"voice.adx", "voice.adx."}, {"voice.adx", "voice.adx."}},
        // Each long name has an alias, the renamed one too (~2 here).
        {"8.3 alias after its long name",
         true,
         {"bgm_stage01.adx", "BGM_ST~1.ADX", "BGM_ST~4.ADX"},
         {"bgm_stage01.adx", "BGM_ST~1~1.ADX", "BGM_ST~4.ADX"}},
        {"second long name, second alias",
         true,
         {"bgm_stage01.adx", "bgm_stage02.adx", "bgm_st~2.adx"},
         {"bgm_stage01.adx", "bgm_stage02.adx", "bgm_st~2~1.adx"}},
        {"alias form first",
         true,
         {"BGM_ST~1.ADX", "bgm_stage01.adx"},
         {"BGM_ST~1.ADX", "bgm_stage01.adx"}},
        {"8.3 alias, POSIX",
         false,
         {"bgm_stage01.adx", "BGM_ST~1.ADX"},
         {"bgm_stage01.adx", "BGM_ST~1.ADX"}},
    };
    for (const ClaimCase& c : cases) {
        MemberNames names(c.windowsNames);
        std::vector<std::string> written;
        written.reserve(c.names.size());
        for (const std::string& name : c.names) {
            written.push_back(names.Claim(name, [](const std::string&) { return false; }));
        }
        EXPECT_EQ(written, c.written) << c.what;
    }
}

TEST(MemberNamesTest, ClaimPassesOverFilesThatWereThere) {
    MemberNames names(true);
    const auto taken = [](const std::string& name) { return name == "M~1"; };
    EXPECT_EQ(names.Claim("m", taken), "m");
    EXPECT_EQ(names.Claim("M", taken), "M~2");
}

struct ReasonCase {
    const char* name;
    bool windowsNames;
    const char* reason; // null: usable
};

TEST(MemberNamesTest, UnsafeReason) {
    const ReasonCase cases[] = {
        {"ok.adx", true, nullptr},
        {"", false, "is empty"},
        {"..", false, "is a directory reference"},
        {"a/b", false, "holds a directory separator"},
        {"ソ", true, nullptr},
        {"c:d", false, "holds a drive letter or stream separator ':'"},
        {"a\x01", false, "holds a control character"},
        {"a\xC2\x9B"
         "31m",
         false, "holds a control character"}, // U+009B, CSI
        {"\xC2\xA0", false, nullptr},         // U+00A0
        {"...", true, "is only dots and spaces"},
        {"...", false, nullptr},
        {"NUL.adx", true, "is a Windows device name"},
        {"COM².bin", true, "is a Windows device name"},
        {"NUL.adx", false, nullptr},
        {"what?.adx", true, "holds a character that Windows does not allow in names"},
        {"a<b>", true, "holds a character that Windows does not allow in names"},
        {"what?.adx", false, nullptr},
    };
    for (const ReasonCase& c : cases) {
        const char* reason = MemberNames::UnsafeReason(c.name, c.windowsNames);
        EXPECT_STREQ(reason, c.reason) << c.name;
    }
}

TEST(MemberNamesTest, EscapedShowsControlCharacters) {
    // U+009B (CSI) is escaped, U+00A0 (no-break space) is not.
    EXPECT_EQ(MemberNames::Escaped("a\x01\x7F\xC2\x9B\xC2\xA0"
                                   "b"),
              "a\\x01\\x7F\\xC2\\x9B\xC2\xA0"
              "b");
}

} // namespace
