// Times as both tools' command lines take them.
#include "ParseTime.h"

#include <gtest/gtest.h>

namespace {

struct TimeCase {
    const char* text;
    bool valid;
    double seconds;
};

TEST(ParseTimeTest, SecondsOrClockValues) {
    const TimeCase cases[] = {
        {"83.5", true, 83.5},        {"0", true, 0.0},
        {"1:23.5", true, 83.5},      {"01:02:03.25", true, 3723.25},
        {"90:00", true, 5400.0},                               // the first field may exceed 59
        {"24:00:00", true, 86400.0}, {"24:00:01", false, 0.0}, // more than a day
        {"1:60", false, 0.0},        {"1.5:30", false, 0.0},   // a fraction only in the last field
        {"1:2:3:4", false, 0.0},     {"1:", false, 0.0},
        {":5", false, 0.0},          {"-1", false, 0.0},
        {"1e2", false, 0.0},         {"", false, 0.0},
    };
    for (const TimeCase& test : cases) {
        SCOPED_TRACE(test.text);
        double seconds = -7.0;
        EXPECT_EQ(ParseTime(test.text, seconds), test.valid);
        if (test.valid) {
            EXPECT_DOUBLE_EQ(seconds, test.seconds);
        } else {
            EXPECT_EQ(seconds, -7.0); // untouched
        }
    }
}

} // namespace
