// The host's textual date "DD-Mon-YYYY HH:MM:SS" and its conversions.
#pragma once

#include <ctime>

#include <orvanel/plugin.h>

constexpr const char *kDefaultDateString = "01-Jan-1978 12:00:00";
constexpr int kDateStringSize = 64;

// 1 when text is a date string, 0 when it is rejected.
int ParseDateString(const char *text, DateRecord *date);

// The local time of date (mktime normalises out-of-range fields); -1 when it
// cannot be represented. Also stored through time.
time_t DateRecordToTime(const DateRecord *date, time_t *time);

// Formats time as a local date string into buffer (kDateStringSize bytes).
// Returns 0 and writes the default date when localtime cannot convert it.
int FormatDateString(time_t time, char *buffer);

// Breaks time down into a local DateRecord; 0 when localtime fails.
int TimeToDateRecord(time_t time, DateRecord *date);
