// zip.GetFileAttributes: what libzip's stat knows about one entry.
#include "core/bounded.h"
#include "host.h"
#include "library/archive.h"
#include "library/commands.h"
#include "core/dates.h"

namespace {

// Sets table[key] = number on the table just below the top.
void SetNumberField(ScriptState *L, const char *key, double value) {
    host::PushString(L, key);
    host::PushNumber(L, value);
    host::SetTable(L, -3);
}

// Sets table[key] = integer on the table just below the top.
void SetIntegerField(ScriptState *L, const char *key, int64_t value) {
    host::PushString(L, key);
    host::PushInteger(L, value);
    host::SetTable(L, -3);
}

// Sets table[key] = text on the table just below the top.
void SetStringField(ScriptState *L, const char *key, const char *text) {
    host::PushString(L, key);
    host::PushString(L, text);
    host::SetTable(L, -3);
}

// Whether the stat record carries the field of bit.
bool Has(const zip_stat_t &stat, zip_uint64_t bit) { return (stat.valid & bit) != 0; }

// The entry's time as a date string; the default date when it is unknown
// or localtime cannot convert it.
void EntryDateString(const zip_stat_t &stat, char *buffer) {
    if (Has(stat, ZIP_STAT_MTIME))
        FormatDateString(stat.mtime, buffer);
    else
        CopyBounded(buffer, kDateStringSize, kDefaultDateString);
}

// Pushes the attribute table of one stat record.
void PushAttributeTable(ScriptState *L, const zip_stat_t &stat) {
    char date[kDateStringSize];
    EntryDateString(stat, date);
    host::NewTable(L);
    SetNumberField(L, "size", Has(stat, ZIP_STAT_SIZE) ? static_cast<double>(stat.size) : -1.0);
    SetNumberField(L, "compressedsize", Has(stat, ZIP_STAT_COMP_SIZE) ? static_cast<double>(stat.comp_size) : -1.0);
    SetNumberField(L, "crc32", Has(stat, ZIP_STAT_CRC) ? static_cast<double>(stat.crc) : 0.0);
    SetIntegerField(L, "compression", Has(stat, ZIP_STAT_COMP_METHOD) ? stat.comp_method : -1);
    SetIntegerField(L, "encryption", Has(stat, ZIP_STAT_ENCRYPTION_METHOD) ? stat.encryption_method : -1);
    SetStringField(L, "time", date);
}

}  // namespace

int GetFileAttributes(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveReadable(object)) return busy;
    zip_stat_t stat;
    if (zip_stat_index(object->archive, index, 0, &stat) != 0) return ZipError();
    PushAttributeTable(L, stat);
    return 1;
}
