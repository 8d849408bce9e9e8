// The ways the adapter opens and closes archives. Each declines at once a
// path that names something other than a regular file.
#pragma once

#include <zip.h>

// Opens an archive read-only through the host's own file functions; NULL on
// failure. Every reading handle that owns its archive comes through here.
zip_t *OpenArchiveForReading(const char *path);

// Opens an archive read-only through the host's own file functions, like
// OpenArchiveForReading, but with its source record on the process heap:
// an archive the adapter keeps between handles must hold no host memory,
// since scripts rightly expect to hold none once they closed everything.
// NULL on failure.
zip_t *OpenArchiveToKeep(const char *path);

// Gives back an archive opened by OpenArchiveForReading or OpenArchiveToKeep.
void CloseArchiveForReading(zip_t *archive);

// Opens an archive for a change, creating it when missing (it is written
// only if something changes). It holds the archive's write lock from before
// it is read until it is written back or discarded, so that no other
// writer's change falls between the read and the write. NULL on failure,
// also when another writer holds the lock too long or this process holds
// it already.
zip_t *OpenArchiveForChange(const char *path);

// Opens an archive with libzip's own file access to load what a change
// will start from, without the write lock; it is never written back, and
// the change itself reads the archive afresh. NULL on failure.
zip_t *OpenArchiveToLoad(const char *path);

// Opens an existing archive with libzip's own file access for a directory
// scan or a look at its entries; NULL on failure. It holds no host memory,
// so the adapter may keep it.
zip_t *OpenArchiveForScan(const char *path);

// Writes an archive back and frees it; on failure the archive is discarded
// and the file on disk keeps its old contents. Returns true when written.
bool WriteArchiveBack(zip_t *archive);
