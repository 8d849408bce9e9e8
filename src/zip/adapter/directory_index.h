// The entries of an archive that does not change, sorted by name, so that
// the entries inside one directory are found without a walk over all.
#pragma once

#include <zip.h>

#include "core/named_entry.h"

// Entries sorted by name (bytes, as directory scans compare, '\\' read as
// '/'), then index; only those the adapter serves (IsServedName). All
// entries whose names begin with one prefix form one run.
struct DirectoryIndex {
    NamedEntry *sorted;  // the entries in name order
    zip_uint64_t count;  // elements of sorted
};

// Builds the index of archive's names; false when memory runs out.
bool BuildDirectoryIndex(zip_t *archive, DirectoryIndex *index);

// Frees what BuildDirectoryIndex allocated.
void FreeDirectoryIndex(DirectoryIndex *index);

// The run [*first, *end) of entries whose names begin with the n bytes of
// prefix.
void FindPrefixRun(const DirectoryIndex *index, const char *prefix, size_t n, zip_uint64_t *first, zip_uint64_t *end);
