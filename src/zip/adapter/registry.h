// The registry of open directory scans, through which scans, reading
// handles and deferred deletions share one open archive.
#pragma once

#include <zip.h>

#include "adapter/archive_cache.h"
#include "adapter/paths.h"

// One child of a scanned directory.
struct ListingElement {
    zip_uint64_t index;  // the archive entry through which the child was found
    uint32_t directory;  // 1: a subdirectory, 0: a file
};

// One open directory scan, and the registry entry of its archive.
struct ZipDirHandle {
    ZipDirHandle *next;                  // the following record in the registry
    zip_t *archive;                      // the scanned archive; a child borrows its root's
    CachedArchive *cached;               // the cache's archive a root reads; NULL for a child
    zip_uint64_t position;               // next listing element to return
    zip_uint64_t entryCount;             // entries of the archive when the scan was opened
    zip_int64_t ownEntry;                // entry named exactly like the directory, or -1
    zip_uint64_t listingCount;           // elements in listing
    zip_int64_t lastFileIndex;           // entry last returned as a file, -1 if none (roots only)
    char archivePath[kPathBufferSize];   // the registry key, as the host wrote it
    char directory[kPathBufferSize];     // inner directory path ending in '/', "" for the root
    ZipDirHandle *parent;                // the root whose archive this record shares, or NULL
    ListingElement *listing;             // the children, in order of first appearance
    int32_t references;                  // own scan + children + reading handles
    zip_uint64_t *pendingDeletions;      // entries to delete when the root goes (roots only)
    uint32_t pendingCount;               // used elements of pendingDeletions
    uint32_t pendingCapacity;            // allocated elements of pendingDeletions
};

// Whether two archive paths name one archive: the same spelling, or any
// spellings (other case, "./", links) that name the same file.
bool NameSameArchive(const char *a, const char *b);

// The registry record that serves archivePath: the first whose path names
// the same archive (NameSameArchive). NULL when none.
ZipDirHandle *FindZipDirHandle(const char *archivePath);

// Whether any scan is registered.
bool AnyScanOpen();

// The root record that owns the archive of record.
ZipDirHandle *RootOf(ZipDirHandle *record);

// Appends record at the registry's tail.
void RegisterZipDirHandle(ZipDirHandle *record);

// Drops one reference to record. At the last one a child releases its root;
// a root closes its archive and runs its deferred deletions. Either then
// leaves the registry and is freed.
void ReleaseZipDirHandle(ZipDirHandle *record);

// Files the deletion of entry index with the root, to run at its release.
// False when there is no memory for it.
bool FileDeferredDeletion(ZipDirHandle *root, zip_uint64_t index);
