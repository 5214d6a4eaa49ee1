// The progress line cut to the terminal's width: a corner that the case
// script does not reach.
#include "playback/ProgressLine.h"

#include <gtest/gtest.h>

namespace {

struct FitCase {
    const char* name;
    const char* text;
    int columns;
    const char* fitted;
};

TEST(ProgressLineTest, FitCutsAndPadsToOneLessThanTheWidth) {
    const FitCase cases[] = {
        {"padded", "0:01", 8, "0:01   "},
        {"exact", "abcdefg", 8, "abcdefg"},
        {"cut", "abcdefghij", 8, "abcdefg"},
        // A multi-byte character counts once and is never split.
        {"utf-8", "\xc3\xa9t\xc3\xa9 long", 5, "\xc3\xa9t\xc3\xa9 "},
        {"narrowest", "abc", 1, "a"},
    };
    for (const FitCase& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(ProgressLine::Fit(test.text, test.columns), test.fitted);
    }
}

} // namespace
