// Date strings: the fixed-position parser, the conversion to time_t and the
// formatter, in a time zone with daylight saving time.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "core/dates.h"

namespace {

class Dates : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
};

TEST_F(Dates, ParseAndFormatAgain) {
    // text, whether it parses, what it formats back to (when it parses)
    const struct { const char *text; bool parses; const char *back; } cases[] = {
        {kDefaultDateString, true, kDefaultDateString},
        {"17-May-2020 10:30:00", true, "17-May-2020 10:30:00"},  // summer time: no hour lost
        {"31-Dec-2099 23:59:59", true, "31-Dec-2099 23:59:59"},
        {" 1-Jan-1978 12:00:00", true, "01-Jan-1978 12:00:00"},
        {"05-dec-2001 01:02:03", true, "05-Dec-2001 01:02:03"},
        {"31-Feb-2021 08:00:00", true, "03-Mar-2021 08:00:00"},  // the day moves on
        {"02-Jan-2000 -1:00:00", true, "01-Jan-2000 23:00:00"},
        {"01-Jan-2000x10:20:30", true, "01-Jan-2000 10:20:30"},  // position 11 is not tested
        {"01-Jan-2000 10:20:", true, "01-Jan-2000 10:20:00"},
        {"01-Jan-2000 10:20:30 and more", true, "01-Jan-2000 10:20:30"},
        {"01-Jan-2000 10:20:-5", true, "01-Jan-2000 10:19:55"},
        {"1-Jan-1978 12:00:00", false, nullptr},
        {"00-Jan-1978 12:00:00", false, nullptr},
        {"32-Jan-1978 12:00:00", false, nullptr},
        {"-1-Jan-1978 12:00:00", false, nullptr},
        {"05-January-2001 01:02:03", false, nullptr},
        {"05-Jux-2001 01:02:03", false, nullptr},
        {"01-Jan-2000 24:00:00", false, nullptr},
        {"01-Jan-2000 23:60:00", false, nullptr},
        {"01-Jan-2000 23:59:60", false, nullptr},
        {"01-Jan-2000 10:20", false, nullptr},
        {"01/Jan-2000 10:20:30", false, nullptr},
        {"01-Jan/2000 10:20:30", false, nullptr},
        {"01-Jan-2000 10.20:30", false, nullptr},
        {"01-Jan-2000 10:20.30", false, nullptr},
        {"01-Jan-2000 10:20:-99999999999", false, nullptr},  // beyond the record
    };
    for (const auto &c : cases) {
        DateRecord date{};
        ASSERT_EQ(ParseDateString(c.text, &date) == 1, c.parses) << c.text;
        if (!c.parses) continue;
        time_t time = 0;
        DateRecordToTime(&date, &time);
        char buffer[kDateStringSize];
        FormatDateString(time, buffer);
        EXPECT_STREQ(buffer, c.back) << c.text;
    }
}

TEST_F(Dates, TimesBeyondTheFormat) {
    char buffer[kDateStringSize];
    DateRecord wide{0, 0, 12, 1, 0, 12345};
    time_t time = 0;
    DateRecordToTime(&wide, &time);
    FormatDateString(time, buffer);
    EXPECT_STREQ(buffer, "01-Jan-12345 12:00:00");
    DateRecord date{};
    EXPECT_NE(ParseDateString(buffer, &date), 1) << "years of other lengths do not parse back";
    DateRecord unrepresentable{0, 0, 0, 1, 0, INT32_MIN};
    EXPECT_EQ(DateRecordToTime(&unrepresentable, &time), -1);
    EXPECT_EQ(time, -1);
    EXPECT_EQ(FormatDateString(LLONG_MAX, buffer), 0);
    EXPECT_STREQ(buffer, kDefaultDateString);
    EXPECT_EQ(TimeToDateRecord(LLONG_MAX, &date), 0);
}

}  // namespace
