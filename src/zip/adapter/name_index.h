// Finding entries by name ignoring case in an archive that does not
// change, in logarithmic time instead of a walk over every entry.
#pragma once

#include <zip.h>

#include "adapter/named_entry.h"

// The entries sorted by their ASCII-folded names ('\\' read as '/'). The
// host's CompareNoCase stays the judge of every match ignoring case: the
// fold only narrows the candidates.
// This relies on one property of the host's comparison: two pure-ASCII
// names it finds equal are equal after ASCII lower-casing. Names with other
// bytes may fold in ways the index cannot know, so they are kept apart and
// always compared.
struct NameIndex {
    NamedEntry *folded;        // pure-ASCII names, by folded name, then index
    zip_uint64_t foldedCount;  // elements of folded
    NamedEntry *other;         // names with bytes above 127, by index
    zip_uint64_t otherCount;   // elements of other
};

// Builds the index of archive's names; false when memory runs out (nothing
// is then held).
bool BuildNameIndex(zip_t *archive, NameIndex *index);

// Frees what BuildNameIndex allocated.
void FreeNameIndex(NameIndex *index);

// The entry name finds, as FindEntry picks it: the lowest exact match, else
// the lowest index whose name the host finds equal ignoring case; -1 when
// there is none. A name with bytes above 127 could match in ways the fold
// does not see: kWalkEntries asks the caller to walk the entries instead.
constexpr zip_int64_t kWalkEntries = -2;
zip_int64_t FindName(const NameIndex *index, const char *name);
