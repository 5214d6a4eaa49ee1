// Times as the command line takes them, and the progress line cut to the
// terminal's width: the corners that the case script does not reach.
#include "Options.h"
#include "ProgressLine.h"

#include <gtest/gtest.h>

namespace {

struct TimeCase {
    const wchar_t* text;
    bool valid;
    double seconds;
};

TEST(ParseTimeTest, SecondsOrClockValues) {
    const TimeCase cases[] = {
        {L"83.5", true, 83.5},        {L"0", true, 0.0},
        {L"1:23.5", true, 83.5},      {L"01:02:03.25", true, 3723.25},
        {L"90:00", true, 5400.0},                                // the first field may exceed 59
        {L"24:00:00", true, 86400.0}, {L"24:00:01", false, 0.0}, // more than a day
        {L"1:60", false, 0.0},        {L"1.5:30", false, 0.0}, // a fraction only in the last field
        {L"1:2:3:4", false, 0.0},     {L"1:", false, 0.0},
        {L":5", false, 0.0},          {L"-1", false, 0.0},
        {L"1e2", false, 0.0},         {L"", false, 0.0},
    };
    for (const TimeCase& test : cases) {
        double seconds = -7.0;
        EXPECT_EQ(ParseTime(test.text, seconds), test.valid) << static_cast<const void*>(test.text);
        if (test.valid) {
            EXPECT_DOUBLE_EQ(seconds, test.seconds);
        } else {
            EXPECT_EQ(seconds, -7.0); // untouched
        }
    }
}

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
