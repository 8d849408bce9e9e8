#include "info.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace info {
namespace {

const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The protection bits the host reports for a file of mode.
uint32_t FlagsOf(mode_t mode) { return static_cast<uint32_t>(mode & 07777); }

}  // namespace

DateRecord ToDateRecord(time_t t) {
    struct tm parts = {};
    localtime_r(&t, &parts);
    return {parts.tm_sec, parts.tm_min, parts.tm_hour, parts.tm_mday, parts.tm_mon, parts.tm_year + 1900};
}

time_t FromDateRecord(const DateRecord &date) {
    struct tm parts = {};
    parts.tm_sec = date.seconds;
    parts.tm_min = date.minutes;
    parts.tm_hour = date.hours;
    parts.tm_mday = date.day;
    parts.tm_mon = date.month;
    parts.tm_year = date.year - 1900;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

bool ParseDate(const char *text, DateRecord *date) {
    int day, year, hours, minutes, seconds, consumed = 0;
    char month[4] = {};
    if (sscanf(text, "%2d-%3c-%4d %2d:%2d:%2d%n", &day, month, &year, &hours, &minutes, &seconds, &consumed) != 6 ||
        text[consumed] != '\0')
        return false;
    int monthIndex = -1;
    for (int i = 0; i < 12; ++i)
        if (strcasecmp(month, kMonths[i]) == 0) monthIndex = i;
    if (monthIndex < 0 || day < 1 || day > 31 || hours > 23 || minutes > 59 || seconds > 59 || hours < 0 ||
        minutes < 0 || seconds < 0)
        return false;
    *date = {seconds, minutes, hours, day, monthIndex, year};
    return true;
}

void FromStat(const struct stat &st, const char *name, FSObjInfo *record) {
    *record = {};
    record->type = S_ISDIR(st.st_mode) ? FSOBJ_DIRECTORY : FSOBJ_FILE;
    record->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    record->flags = FlagsOf(st.st_mode);
    record->modified = ToDateRecord(st.st_mtime);
    record->created = ToDateRecord(st.st_ctime);
    record->accessed = ToDateRecord(st.st_atime);
    record->name = const_cast<char *>(name);
}

void PushInfoTable(lua_State *L, const FSObjInfo &record) {
    const DateRecord &d = record.modified;
    const char *month = d.month >= 0 && d.month < 12 ? kMonths[d.month] : "???";
    char time[64];
    snprintf(time, sizeof time, "%.2d-%s-%d %.2d:%.2d:%.2d", d.day, month, d.year, d.hours, d.minutes, d.seconds);
    lua_createtable(L, 0, 5);
    lua_pushstring(L, record.type == FSOBJ_DIRECTORY ? "directory" : "file");
    lua_setfield(L, -2, "type");
    lua_pushinteger(L, static_cast<lua_Integer>(record.size));
    lua_setfield(L, -2, "size");
    lua_pushstring(L, time);
    lua_setfield(L, -2, "time");
    if (record.name) {
        lua_pushstring(L, record.name);
        lua_setfield(L, -2, "name");
    }
    lua_pushinteger(L, record.flags);
    lua_setfield(L, -2, "flags");
}

}  // namespace info
