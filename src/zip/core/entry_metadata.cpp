#include "core/entry_metadata.h"

#include <sys/stat.h>

#include "core/dates.h"
#include "host.h"

namespace {

// The last year a ZIP (MS-DOS) date can hold.
constexpr int kLastDosYear = 2107;

// Extra fields that carry a modification time of their own.
constexpr zip_uint16_t kTimeFieldIds[] = {
    0x5455,  // extended timestamp (Info-ZIP, 7-Zip)
    0x000a,  // NTFS times
    0x5855,  // Info-ZIP Unix, old form
};

constexpr uint32_t kPermissionBits = 0777;
// A Unix mode lies in the high 16 bits of an entry's external attributes.
constexpr int kUnixModeShift = 16;

// Whether time falls before the end of 2107 in local time.
bool FitsDosDate(time_t time) {
    struct tm tm;
    return localtime_r(&time, &tm) != nullptr && tm.tm_year + kTmYearBase <= kLastDosYear;
}

}  // namespace

bool DropTimeFields(zip_t *archive, zip_uint64_t index) {
    for (zip_uint16_t id : kTimeFieldIds)
        if (zip_file_extra_field_delete_by_id(archive, index, id, ZIP_EXTRA_FIELD_ALL, ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0)
            return false;
    return true;
}

MetadataResult SetEntryModTime(zip_t *archive, zip_uint64_t index, time_t time) {
    if (!FitsDosDate(time)) return MetadataResult::OutOfRange;
    // The fields go first: they refuse a bad index or a read-only archive
    // before the time is changed.
    if (!DropTimeFields(archive, index)) return MetadataResult::Refused;
    return zip_file_set_mtime(archive, index, time, 0) == 0 ? MetadataResult::Set : MetadataResult::Refused;
}

MetadataResult SetEntryDate(zip_t *archive, zip_uint64_t index, const DateRecord &date) {
    time_t time;
    if (DateRecordToTime(&date, &time) == -1) return MetadataResult::OutOfRange;
    return SetEntryModTime(archive, index, time);
}

MetadataResult SetEntryCommentText(zip_t *archive, zip_uint64_t index, const char *comment, size_t length,
                                   zip_flags_t flags) {
    if (length > kMaxCommentLength) return MetadataResult::OutOfRange;
    if (length == 0) comment = nullptr;
    const bool set = zip_file_set_comment(archive, index, comment, static_cast<zip_uint16_t>(length), flags) == 0;
    return set ? MetadataResult::Set : MetadataResult::Refused;
}

bool SetEntryUnixMode(zip_t *archive, zip_uint64_t index, bool directory, uint32_t permissions) {
    const uint32_t type = directory ? S_IFDIR : S_IFREG;
    const uint32_t mode = type | (permissions & kPermissionBits);
    return zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, mode << kUnixModeShift) == 0;
}

uint32_t PermissionsOf(const FSObjInfo &info) {
    if (info.containerKind == host::kContainerArchive) return kDefaultFileMode;
    return info.flags & kPermissionBits;
}
