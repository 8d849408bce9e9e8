// An archive entry paired with its name, the element of the sorted lookup
// arrays of names.
#pragma once

#include <zip.h>

// One entry of an archive; the name stays valid until the entry is renamed
// or deleted, or the archive closed.
struct NamedEntry {
    const char *name;    // libzip's name of the entry (flags 0), or the part of it looked up
    zip_uint64_t index;  // the entry's index
};

// Collects every named entry of archive into a new array on the process
// heap (*count elements, in index order). NULL when memory runs out; an
// archive without entries gives a one-element array with *count 0.
NamedEntry *CollectNamedEntries(zip_t *archive, zip_uint64_t *count);
