// Archive files the module writes, through a libzip source of its own over
// the platform's file.
//
// Unlike libzip's own file source it makes a written archive durable (the
// data synced before the rename, the folder after), refuses to replace a
// file that changed since the archive was read, and serializes writers
// with the archive's write lock (core/archive_lock.h).
#pragma once

#include <zip.h>

// When an archive takes its write lock.
enum class WriteLock {
    AtWrite,   // only while the new archive is written: script archives
    FromOpen,  // before it is read, until it is closed: a read-modify-write
};

// Opens the archive at path for reading and change through this source, the
// platform's file access; flags as zip_open's (ZIP_CREATE, ZIP_TRUNCATE).
// The archive is written only over the very file it was read from,
// unchanged (or over no file, if there was none). NULL on failure, and at
// once when path names something other than a regular file.
zip_t *OpenArchiveThroughWritableFile(const char *path, int flags, WriteLock lock);
