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

    static bool Parses(const char *text) {
        DateRecord date{};
        return ParseDateString(text, &date) == 1;
    }

    // Parses text and formats the resulting time again.
    static std::string RoundTrip(const char *text) {
        DateRecord date{};
        EXPECT_EQ(ParseDateString(text, &date), 1) << text;
        time_t time = 0;
        DateRecordToTime(&date, &time);
        char buffer[kDateStringSize];
        FormatDateString(time, buffer);
        return buffer;
    }
};

TEST_F(Dates, DefaultDateParsesIntoItsFields) {
    DateRecord date{};
    ASSERT_EQ(ParseDateString(kDefaultDateString, &date), 1);
    EXPECT_EQ(date.day, 1);
    EXPECT_EQ(date.month, 0);
    EXPECT_EQ(date.year, 1978);
    EXPECT_EQ(date.hours, 12);
    EXPECT_EQ(date.minutes, 0);
    EXPECT_EQ(date.seconds, 0);
    EXPECT_EQ(RoundTrip(kDefaultDateString), kDefaultDateString);
}

TEST_F(Dates, SummerTimeRoundTripsWithoutAnHourLost) {
    EXPECT_EQ(RoundTrip("17-May-2020 10:30:00"), "17-May-2020 10:30:00");
    EXPECT_EQ(RoundTrip("31-Dec-2099 23:59:59"), "31-Dec-2099 23:59:59");
}

TEST_F(Dates, DayNeedsTwoPositions) {
    EXPECT_FALSE(Parses("1-Jan-1978 12:00:00"));
    EXPECT_TRUE(Parses(" 1-Jan-1978 12:00:00"));
    EXPECT_FALSE(Parses("00-Jan-1978 12:00:00"));
    EXPECT_FALSE(Parses("32-Jan-1978 12:00:00"));
    EXPECT_FALSE(Parses("-1-Jan-1978 12:00:00"));
}

TEST_F(Dates, MonthsIgnoreCaseButMustBeAbbreviated) {
    DateRecord date{};
    ASSERT_EQ(ParseDateString("05-dec-2001 01:02:03", &date), 1);
    EXPECT_EQ(date.month, 11);
    EXPECT_FALSE(Parses("05-January-2001 01:02:03"));
    EXPECT_FALSE(Parses("05-Jux-2001 01:02:03"));
}

TEST_F(Dates, DayBeyondTheMonthMovesOn) {
    EXPECT_EQ(RoundTrip("31-Feb-2021 08:00:00"), "03-Mar-2021 08:00:00");
}

TEST_F(Dates, TimeFieldsAreRangeChecked) {
    EXPECT_FALSE(Parses("01-Jan-2000 24:00:00"));
    EXPECT_FALSE(Parses("01-Jan-2000 23:60:00"));
    EXPECT_FALSE(Parses("01-Jan-2000 23:59:60"));
    EXPECT_TRUE(Parses("01-Jan-2000 23:59:59"));
}

TEST_F(Dates, NegativeHourGoesToThePreviousDay) {
    EXPECT_EQ(RoundTrip("02-Jan-2000 -1:00:00"), "01-Jan-2000 23:00:00");
}

TEST_F(Dates, PositionElevenIsNotTested) {
    EXPECT_EQ(RoundTrip("01-Jan-2000x10:20:30"), "01-Jan-2000 10:20:30");
}

TEST_F(Dates, EighteenCharactersMeanSecondsZero) {
    EXPECT_FALSE(Parses("01-Jan-2000 10:20"));
    EXPECT_EQ(RoundTrip("01-Jan-2000 10:20:"), "01-Jan-2000 10:20:00");
    EXPECT_EQ(RoundTrip("01-Jan-2000 10:20:30 and more"), "01-Jan-2000 10:20:30");
}

TEST_F(Dates, SeparatorsMustStandAtTheirPositions) {
    EXPECT_FALSE(Parses("01/Jan-2000 10:20:30"));
    EXPECT_FALSE(Parses("01-Jan/2000 10:20:30"));
    EXPECT_FALSE(Parses("01-Jan-2000 10.20:30"));
    EXPECT_FALSE(Parses("01-Jan-2000 10:20.30"));
}

TEST_F(Dates, YearsOfOtherLengthsDoNotParseBack) {
    char buffer[kDateStringSize];
    DateRecord date{0, 0, 12, 1, 0, 12345};
    time_t time = 0;
    DateRecordToTime(&date, &time);
    FormatDateString(time, buffer);
    EXPECT_STREQ(buffer, "01-Jan-12345 12:00:00");
    EXPECT_FALSE(Parses(buffer));
}

TEST_F(Dates, SecondsBeyondTheRecordAreRefused) {
    EXPECT_FALSE(Parses("01-Jan-2000 10:20:-99999999999"));
    EXPECT_TRUE(Parses("01-Jan-2000 10:20:-5"));
}

TEST_F(Dates, UnrepresentableYearGivesMinusOne) {
    DateRecord date{0, 0, 0, 1, 0, INT32_MIN};
    time_t time = 0;
    EXPECT_EQ(DateRecordToTime(&date, &time), -1);
    EXPECT_EQ(time, -1);
}

TEST_F(Dates, UnconvertibleTimeFormatsAsTheDefault) {
    char buffer[kDateStringSize];
    EXPECT_EQ(FormatDateString(LLONG_MAX, buffer), 0);
    EXPECT_STREQ(buffer, kDefaultDateString);
    DateRecord date{};
    EXPECT_EQ(TimeToDateRecord(LLONG_MAX, &date), 0);
}

TEST_F(Dates, TimeBreaksDownIntoTheHostRecord) {
    DateRecord parsed{};
    ASSERT_EQ(ParseDateString("17-May-2020 10:30:05", &parsed), 1);
    time_t time = 0;
    DateRecordToTime(&parsed, &time);
    DateRecord date{};
    ASSERT_EQ(TimeToDateRecord(time, &date), 1);
    EXPECT_EQ(date.year, 2020);
    EXPECT_EQ(date.month, 4);
    EXPECT_EQ(date.day, 17);
    EXPECT_EQ(date.hours, 10);
    EXPECT_EQ(date.minutes, 30);
    EXPECT_EQ(date.seconds, 5);
}

}  // namespace
