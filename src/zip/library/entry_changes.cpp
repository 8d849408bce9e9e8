// Changes to one entry that zip.AddFile shares with the editing commands.
#include "library/entry_changes.h"

#include <cstdint>

#include "core/dates.h"
#include "library/archive.h"
#include "library/parallel_close.h"

namespace {

// Highest compression level libzip defines.
constexpr int kMaxCompressionLevel = 9;

// The command's error code for the outcome of a change.
int ResultError(MetadataResult result) {
    switch (result) {
    case MetadataResult::Set: return 0;
    case MetadataResult::OutOfRange: return HOSTERR_BADVALUE;
    case MetadataResult::Refused: break;
    }
    return ZipError();
}

}  // namespace

int SetEntryEncryption(zip_t *archive, zip_uint64_t index, int method, const char *password) {
    if (method < 0 || method > UINT16_MAX) return ZipError();
    if (password != nullptr && password[0] == '\0') password = nullptr;
    if (zip_file_set_encryption(archive, index, static_cast<zip_uint16_t>(method), password) != 0) return ZipError();
    NotePendingEncryption(archive, index, static_cast<zip_uint16_t>(method), password);
    return 0;
}

int SetEntryCompression(zip_t *archive, zip_uint64_t index, int method, int level) {
    if (level < 0 || level > kMaxCompressionLevel) return ZipError();
    if (zip_set_file_compression(archive, index, method, static_cast<zip_uint32_t>(level)) != 0) return ZipError();
    NotePendingCompression(archive, index, method, level);
    return 0;
}

int SetEntryComment(zip_t *archive, zip_uint64_t index, const char *comment, size_t length, zip_flags_t flags) {
    return ResultError(SetEntryCommentText(archive, index, comment, length, flags));
}

int SetEntryTime(zip_t *archive, zip_uint64_t index, const char *text) {
    DateRecord date;
    if (!ParseDateString(text, &date)) return HOSTERR_BADVALUE;
    return ResultError(SetEntryDate(archive, index, date));
}
