// Changes to one entry that zip.AddFile shares with the editing commands.
#include "library/entry_changes.h"

#include <cstdint>

#include "entry_metadata.h"
#include "library/archive.h"
#include "library/dates.h"
#include "library/parallel_close.h"

namespace {

// Highest compression level libzip defines.
constexpr int kMaxCompressionLevel = 9;

}  // namespace

// Sets the entry's encryption; 0 or the zip error.
int SetEntryEncryption(zip_t *archive, zip_uint64_t index, int method, const char *password) {
    if (method < 0 || method > UINT16_MAX) return ZipError();
    if (password != nullptr && password[0] == '\0') password = nullptr;
    if (zip_file_set_encryption(archive, index, static_cast<zip_uint16_t>(method), password) != 0) return ZipError();
    NotePendingEncryption(archive, index, static_cast<zip_uint16_t>(method), password);
    return 0;
}

// Sets the entry's compression; 0 or the zip error.
int SetEntryCompression(zip_t *archive, zip_uint64_t index, int method, int level) {
    if (level < 0 || level > kMaxCompressionLevel) return ZipError();
    if (zip_set_file_compression(archive, index, method, static_cast<zip_uint32_t>(level)) != 0) return ZipError();
    NotePendingCompression(archive, index, method, level);
    return 0;
}

// Sets or removes the entry's comment; 0, 1055 or the zip error.
int SetEntryComment(zip_t *archive, zip_uint64_t index, const char *comment, size_t length, zip_flags_t flags) {
    if (length > kMaxCommentLength) return HOSTERR_BADVALUE;
    if (length == 0) comment = nullptr;
    if (zip_file_set_comment(archive, index, comment, static_cast<zip_uint16_t>(length), flags) != 0) return ZipError();
    return 0;
}

// Sets the entry's time; 0, 1055 or the zip error.
int SetEntryTime(zip_t *archive, zip_uint64_t index, const char *text) {
    DateRecord date;
    if (!ParseDateString(text, &date)) return HOSTERR_BADVALUE;
    time_t time;
    switch (SetEntryModTime(archive, index, DateRecordToTime(&date, &time))) {
    case TimeResult::Set: return 0;
    case TimeResult::OutOfRange: return HOSTERR_BADVALUE;
    case TimeResult::Refused: break;
    }
    return ZipError();
}
