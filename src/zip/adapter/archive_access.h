// The routes by which the adapter opens archives, each named by its route:
//
// - through the host's file functions (OpenArchiveThroughHost, in
//   core/host_archive_source.h): every reading handle, scan and stat, kept
//   or not (adapter/archive_cache.h); the host's fault injection reaches it;
// - through libzip's own file access: loading what a writing handle starts
//   from;
// - through the module's writable archive file source (core/archive_file.h):
//   every change, written back under the archive's write lock.
//
// Each declines at once a path that names something other than a regular
// file.
#pragma once

#include <zip.h>

// Opens an archive through the writable archive file source for a change,
// creating it when missing (it is written only if something changes). It
// holds the archive's write lock from before it is read until it is written
// back or discarded, so that no other writer's change falls between the read
// and the write. NULL on failure, also when another writer holds the lock
// too long or this process holds it already (errno EWOULDBLOCK).
zip_t *OpenForChangeThroughWritableFile(const char *path);

// Opens an archive through libzip's own file access to load what a change
// will start from, without the write lock; it is never written back, and
// the change itself reads the archive afresh. A missing file opens as an
// empty archive. NULL on failure.
zip_t *OpenToLoadThroughLibzip(const char *path);

// Writes an archive back and frees it; on failure the archive is discarded,
// the file on disk keeps its old contents, and errno tells why (EACCES: this
// process may not write the file; EPERM: the write would take it from its
// owner; EWOULDBLOCK: another writer held it too long). True when written.
bool WriteArchiveBack(zip_t *archive);
