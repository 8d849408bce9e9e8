// Dates and file information as the host shows them to scripts.
#pragma once

#include <orvanel/plugin.h>

#include <ctime>
#include <lua.hpp>
#include <sys/stat.h>

namespace info {

// The local broken-down date of t.
DateRecord ToDateRecord(time_t t);

// The time_t of a local DateRecord; -1 when it cannot be represented.
time_t FromDateRecord(const DateRecord &date);

// Parses "DD-Mon-YYYY HH:MM:SS" (month in English, any case); false when
// the text is not such a date.
bool ParseDate(const char *text, DateRecord *date);

// Fills record from a stat result; name is stored as given (may be NULL).
void FromStat(const struct stat &st, const char *name, FSObjInfo *record);

// Pushes the info table of record: type, size, time, name, flags.
void PushInfoTable(lua_State *L, const FSObjInfo &record);

}  // namespace info
