// Read-only archives, opened through the host's file functions and kept
// open between adapter handles, so that opening one more file of an archive
// costs a name lookup instead of reading the whole central directory again.
// Reading handles, scans and stats all take their archive from here; the
// cache holds archives of that one route only.
//
// A kept archive is trusted only while its file is provably the one it was
// read from: the same device, inode, size, modification and change times
// (with nanoseconds), checked with stat(2) at every use. Because a file
// system stamps times in ticks, a file changed again within the tick of the
// moment it was read could keep all of them; so only files whose
// modification time lies well before that moment are kept at all. Writers
// the module knows of drop the kept archive at once as well (ForgetArchive,
// which also hears core/archive_changes.h).
//
// Cached archives, their indexes and their entries' restart points live on
// the process heap (and may hold an open host file); kept ones survive
// scripts and are dropped by FreeLibrary.
#pragma once

#include <zip.h>

#include "adapter/directory_index.h"
#include "core/file_identity.h"
#include "core/name_index.h"
#include "core/restart_points.h"

// One archive opened read-only through the host's files, shared by every
// handle, scan and stat that reads it.
struct CachedArchive {
    zip_t *archive;                  // the archive; never changed
    FileIdentity identity;           // the file it was read from
    int32_t users;                   // handles and scans reading it now
    bool kept;                       // in the cache; else closed when the last user goes
    uint64_t lastUse;                // when it was last handed out, for eviction
    bool namesIndexed;               // names holds an index
    NameIndex names;                 // lookups ignoring case, built at the first one
    bool directoriesIndexed;         // directories holds an index
    DirectoryIndex directories;      // directory scans, built at the first one
    EntryRestartPoints points;       // restart points of entries read at random, for every handle
    char path[];                     // the path it was opened under (after the record)
};

// The archive at path, kept or opened now through the host's files; the
// caller becomes one of its users. A path whose file stat(2) cannot see (a
// name only the host knows) gets an archive of its own that is never kept.
// NULL when the archive cannot be opened.
CachedArchive *AcquireArchive(const char *path);

// Ends one use of archive; closes it if it is no longer kept.
void ReleaseArchive(CachedArchive *archive);

// Drops the kept archive of path (any spelling the host finds equal, and
// the file that path names now): called before and after the module writes
// an archive file. errno stays as it was, for the write's caller.
void ForgetArchive(const char *path);

// Drops every kept archive (those in use close with their last user).
void DropArchiveCache();

// The entry name finds (see FindEntry), or -1.
zip_int64_t FindCachedEntry(CachedArchive *archive, const char *name);

// The directory index of archive, built at the first call; NULL when
// memory runs out.
const DirectoryIndex *DirectoriesOf(CachedArchive *archive);
