// The host's textual date "DD-Mon-YYYY HH:MM:SS" and its conversions.
#pragma once

#include <ctime>

#include <orvanel/plugin.h>

// The date of entries whose time is unknown.
constexpr const char *kDefaultDateString = "01-Jan-1978 12:00:00";
// struct tm counts years from this one.
constexpr long long kTmYearBase = 1900;
// Size of a buffer for a formatted date.
constexpr int kDateStringSize = 64;

// Parses "DD-Mon-YYYY HH:MM:SS" (month names in any case) into date. False
// when text is rejected; date then holds the fields parsed so far.
bool ParseDateString(const char *text, DateRecord *date);

// The local time of date (mktime normalises out-of-range fields); -1 when it
// cannot be represented. Also stored through time.
time_t DateRecordToTime(const DateRecord *date, time_t *time);

// Formats time as a local date string into buffer (kDateStringSize bytes).
// False, with the default date written, when localtime cannot convert it.
bool FormatDateString(time_t time, char *buffer);

// Breaks time down into a local DateRecord; false when localtime fails or
// the year does not fit the record.
bool TimeToDateRecord(time_t time, DateRecord *date);
