// The host's textual dates and their conversions to and from time_t.
#include "core/dates.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"

namespace {

// Month abbreviations by struct tm month number, for parsing and formatting.
const char *const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr size_t kMinimumDateLength = 18;

// The month number of the three letters at text, ignoring case; 12 if none.
int ParseMonth(const char *text) {
    int month = 0;
    while (month < 12 && host::CompareNoCaseN(text, kMonthNames[month], 3) != 0) month++;
    return month;
}

// The separators at their fixed positions?
bool HasSeparators(const char *text) {
    return text[2] == '-' && text[6] == '-' && text[14] == ':' && text[17] == ':';
}

long ParseNumber(const char *text) { return std::strtol(text, nullptr, 10); }

}  // namespace

// Parses "DD-Mon-YYYY HH:MM:SS" into date. Returns 1 when accepted, 0 when
// rejected (date then holds the fields parsed so far).
int ParseDateString(const char *text, DateRecord *date) {
    if (std::strlen(text) < kMinimumDateLength || !HasSeparators(text)) return 0;
    const long day = ParseNumber(text);
    if (day < 1 || day > 31) return 0;
    date->day = static_cast<int32_t>(day);
    const int month = ParseMonth(text + 3);
    if (month == 12) return 0;
    date->month = month;
    // The year, hours and minutes end at a fixed separator, so they fit.
    date->year = static_cast<int32_t>(ParseNumber(text + 7));
    const long hours = ParseNumber(text + 12);
    if (hours > 23) return 0;
    date->hours = static_cast<int32_t>(hours);
    const long minutes = ParseNumber(text + 15);
    if (minutes > 59) return 0;
    date->minutes = static_cast<int32_t>(minutes);
    // The seconds run to the end of the text: refuse what the record cannot
    // hold rather than wrap it.
    const long seconds = ParseNumber(text + 18);
    if (seconds > 59 || seconds < INT32_MIN) return 0;
    date->seconds = static_cast<int32_t>(seconds);
    return 1;
}

// The local time of date, normalised by mktime; -1 when it cannot be
// represented. The result is also stored through time.
time_t DateRecordToTime(const DateRecord *date, time_t *time) {
    const long long year = static_cast<long long>(date->year) - 1900;
    if (year < INT_MIN) return *time = -1;
    struct tm tm = {};
    tm.tm_sec = date->seconds;
    tm.tm_min = date->minutes;
    tm.tm_hour = date->hours;
    tm.tm_mday = date->day;
    tm.tm_mon = date->month;
    tm.tm_year = static_cast<int>(year);
    tm.tm_isdst = -1;
    return *time = mktime(&tm);
}

// Writes time as a local date string. Returns 1, or 0 (with the default
// date written) when localtime cannot convert it.
int FormatDateString(time_t time, char *buffer) {
    struct tm tm;
    if (localtime_r(&time, &tm) == nullptr) {
        std::snprintf(buffer, kDateStringSize, "%s", kDefaultDateString);
        return 0;
    }
    std::snprintf(buffer, kDateStringSize, "%.2d-%s-%lld %.2d:%.2d:%.2d", tm.tm_mday, kMonthNames[tm.tm_mon],
                  static_cast<long long>(tm.tm_year) + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return 1;
}

// Breaks time down into a local DateRecord. Returns 1, or 0 when localtime
// fails or the year does not fit the record.
int TimeToDateRecord(time_t time, DateRecord *date) {
    struct tm tm;
    if (localtime_r(&time, &tm) == nullptr) return 0;
    const long long year = static_cast<long long>(tm.tm_year) + 1900;
    if (year > INT32_MAX) return 0;
    date->seconds = tm.tm_sec;
    date->minutes = tm.tm_min;
    date->hours = tm.tm_hour;
    date->day = tm.tm_mday;
    date->month = tm.tm_mon;
    date->year = static_cast<int32_t>(year);
    return 1;
}
