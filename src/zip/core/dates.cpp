#include "core/dates.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"

namespace {

// Month abbreviations by struct tm month number, for parsing and formatting.
constexpr int kMonths = 12;
constexpr const char *kMonthNames[kMonths] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kMonthNameLength = 3;

// Where the fields of "DD-Mon-YYYY HH:MM:SS" begin, and its separators.
constexpr size_t kDayAt = 0, kMonthAt = 3, kYearAt = 7, kHoursAt = 12, kMinutesAt = 15, kSecondsAt = 18;
constexpr size_t kDateDashes[] = {2, 6};
constexpr size_t kTimeColons[] = {14, 17};
// The text up to the seconds; they run to its end.
constexpr size_t kMinimumDateLength = kSecondsAt;
constexpr long kLastDay = 31, kLastHour = 23, kLastMinute = 59, kLastSecond = 59;

// The month number of the three letters at text, ignoring case; kMonths if
// none.
int ParseMonth(const char *text) {
    int month = 0;
    while (month < kMonths && host::CompareNoCaseN(text, kMonthNames[month], kMonthNameLength) != 0) month++;
    return month;
}

// The separators at their fixed positions?
bool HasSeparators(const char *text) {
    for (size_t at : kDateDashes)
        if (text[at] != '-') return false;
    for (size_t at : kTimeColons)
        if (text[at] != ':') return false;
    return true;
}

long ParseNumber(const char *text) { return std::strtol(text, nullptr, 10); }

}  // namespace

bool ParseDateString(const char *text, DateRecord *date) {
    if (std::strlen(text) < kMinimumDateLength || !HasSeparators(text)) return false;
    const long day = ParseNumber(text + kDayAt);
    if (day < 1 || day > kLastDay) return false;
    date->day = static_cast<int32_t>(day);
    const int month = ParseMonth(text + kMonthAt);
    if (month == kMonths) return false;
    date->month = month;
    // The year, hours and minutes end at a fixed separator, so they fit.
    date->year = static_cast<int32_t>(ParseNumber(text + kYearAt));
    const long hours = ParseNumber(text + kHoursAt);
    if (hours > kLastHour) return false;
    date->hours = static_cast<int32_t>(hours);
    const long minutes = ParseNumber(text + kMinutesAt);
    if (minutes > kLastMinute) return false;
    date->minutes = static_cast<int32_t>(minutes);
    // The seconds run to the end of the text: refuse what the record cannot
    // hold rather than wrap it.
    const long seconds = ParseNumber(text + kSecondsAt);
    if (seconds > kLastSecond || seconds < INT32_MIN) return false;
    date->seconds = static_cast<int32_t>(seconds);
    return true;
}

time_t DateRecordToTime(const DateRecord *date, time_t *time) {
    const long long year = static_cast<long long>(date->year) - kTmYearBase;
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

bool FormatDateString(time_t time, char *buffer) {
    struct tm tm;
    if (localtime_r(&time, &tm) == nullptr) {
        std::snprintf(buffer, kDateStringSize, "%s", kDefaultDateString);
        return false;
    }
    std::snprintf(buffer, kDateStringSize, "%.2d-%s-%lld %.2d:%.2d:%.2d", tm.tm_mday, kMonthNames[tm.tm_mon],
                  static_cast<long long>(tm.tm_year) + kTmYearBase, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return true;
}

bool TimeToDateRecord(time_t time, DateRecord *date) {
    struct tm tm;
    if (localtime_r(&time, &tm) == nullptr) return false;
    const long long year = static_cast<long long>(tm.tm_year) + kTmYearBase;
    if (year > INT32_MAX) return false;
    date->seconds = tm.tm_sec;
    date->minutes = tm.tm_min;
    date->hours = tm.tm_hour;
    date->day = tm.tm_mday;
    date->month = tm.tm_mon;
    date->year = static_cast<int32_t>(year);
    return true;
}
