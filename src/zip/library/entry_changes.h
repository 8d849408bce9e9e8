// Changes to one entry that zip.AddFile shares with the editing commands.
// Each returns 0, or the error code the command returns.
#pragma once

#include <cstddef>

#include <zip.h>

#include "core/entry_metadata.h"

// Asks for the entry to be encrypted with method when the archive is
// written; a NULL or empty password falls back on the archive's default
// password. A method that is no 16-bit number is a zip error, never cut
// down to one (which could turn encryption off).
int SetEntryEncryption(zip_t *archive, zip_uint64_t index, int method, const char *password);

// Sets the entry's compression method and level. Levels outside 0-9 are
// undefined for libzip and reported as a zip error.
int SetEntryCompression(zip_t *archive, zip_uint64_t index, int method, int level);

// Sets (or, for length 0, removes) the entry's comment under the libzip
// encoding flags; HOSTERR_BADVALUE for a comment longer than a header holds.
int SetEntryComment(zip_t *archive, zip_uint64_t index, const char *comment, size_t length, zip_flags_t flags);

// Sets the entry's modification time from a date string, so that every
// reader sees it; HOSTERR_BADVALUE when the text is no date string or a time
// the entry cannot hold.
int SetEntryTime(zip_t *archive, zip_uint64_t index, const char *text);
