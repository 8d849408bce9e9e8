// Finding entries by name ignoring case in logarithmic time instead of a
// walk over every entry, for the adapter's kept archives and the archives
// scripts open and change.
#pragma once

#include <zip.h>

#include "core/named_entry.h"

// Which part of an entry's name a NameIndex looks up.
enum class NameKey {
    Whole,     // the whole name
    LastPart,  // the part after the last '/' ("" for a directory entry)
};

// The entries by their ASCII-folded keys (lower case, '\\' read as '/').
// The caller's comparison stays the judge of every match: the fold only
// narrows the candidates.
// This relies on one property of the host's comparison: two pure-ASCII
// names it finds equal are equal after ASCII lower-casing. Keys with other
// bytes may fold in ways the index cannot know, so they are kept apart and
// always compared.
// The folded keys lie in sorted runs of at most 2^i elements at level i,
// so that adding one entry merges runs in amortised logarithmic time
// instead of moving the whole array.
constexpr int kNameLevels = 64;
struct NameIndex {
    NamedEntry *levels[kNameLevels];     // pure-ASCII keys, by folded key, then index; NULL when empty
    zip_uint64_t counts[kNameLevels];    // elements of each level
    NamedEntry *other;                   // keys with bytes above 127, by index
    zip_uint64_t otherCount;             // elements of other
    zip_uint64_t otherCapacity;          // room in other
    NameKey key;                         // the part of the names looked up
};

// Builds the index of archive's names; false when memory runs out (nothing
// is then held).
bool BuildNameIndex(zip_t *archive, NameKey key, NameIndex *index);

// Frees what the index holds.
void FreeNameIndex(NameIndex *index);

// Adds entry under name (its whole name), or takes it out; false when
// memory runs out, and the index must then be freed.
bool AddIndexedName(NameIndex *index, zip_uint64_t entry, const char *name);
void RemoveIndexedName(NameIndex *index, zip_uint64_t entry, const char *name);

// Whether stored, an entry's key, matches the query.
using NameMatch = bool (*)(const char *stored, const char *query);

// The lowest entry whose key matches query, or -1. Keys with bytes above
// 127 are tried only withOther (an exact comparison cannot match them to a
// pure-ASCII query). A query with bytes above 127 could match in ways the
// fold does not see: kWalkEntries asks the caller to walk the entries.
constexpr zip_int64_t kWalkEntries = -2;
zip_int64_t FindIndexedName(const NameIndex *index, const char *query, NameMatch match, bool withOther);
