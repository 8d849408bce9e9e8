// What an entry keeps beside its data and both halves of the module set:
// its modification time, its comment and its Unix mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include <zip.h>

#include <orvanel/plugin.h>

// Permission bits of a file whose source has no Unix mode of its own.
constexpr uint32_t kDefaultFileMode = 0644;
// Permission bits of every directory entry the module makes.
constexpr uint32_t kDirectoryMode = 0755;

// Longest comment a ZIP header can hold.
constexpr size_t kMaxCommentLength = 65535;

// Outcome of a change of an entry's time or comment.
enum class MetadataResult {
    Set,         // done
    OutOfRange,  // the value cannot be stored; nothing changed
    Refused,     // libzip refused the change
};

// Sets the entry's time and removes the extra fields that carry a time of
// their own (extended timestamp, NTFS, Info-ZIP Unix) from both headers, so
// that every reader takes this time. A time after 2107, which a ZIP date
// cannot hold and libzip would wrap around, is OutOfRange and changes
// nothing; one before 1980 is stored by libzip as the same day in 1980.
MetadataResult SetEntryModTime(zip_t *archive, zip_uint64_t index, time_t time);

// SetEntryModTime with a host date (local time); a date the platform cannot
// represent is OutOfRange.
MetadataResult SetEntryDate(zip_t *archive, zip_uint64_t index, const DateRecord &date);

// Sets (or, for length 0, removes) the entry's comment under the libzip
// encoding flags; a comment longer than a header holds is OutOfRange.
MetadataResult SetEntryCommentText(zip_t *archive, zip_uint64_t index, const char *comment, size_t length,
                                   zip_flags_t flags);

// Removes the time-carrying extra fields only: for an entry whose data was
// replaced and whose time libzip takes from the new data. False when
// libzip refuses.
bool DropTimeFields(zip_t *archive, zip_uint64_t index);

// Stores permissions (the low nine bits) as the entry's Unix mode of a
// regular file or a directory, so that extractors create it with these
// bits rather than libzip's world-writable default. False when refused.
bool SetEntryUnixMode(zip_t *archive, zip_uint64_t index, bool directory, uint32_t permissions);

// The permission bits for an entry made from a file the host described as
// info: a real file's own low nine bits, kDefaultFileMode for a file
// inside an archive (whose flags are no Unix mode).
uint32_t PermissionsOf(const FSObjInfo &info);
