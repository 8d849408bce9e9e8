// Finding an entry by name. Lookups that ignore case compare names with the
// host's CompareNoCase (never libzip's own folding) and take the lowest
// matching index.
#pragma once

#include <zip.h>

#include "core/name_index.h"

struct ArchiveObject;

// The folded-name indexes of one open archive, each built at its first
// lookup and kept in step with the archive's changes after that.
struct NameLookups {
    NameIndex whole;      // by whole names (nocase lookups)
    NameIndex lastParts;  // by the part after the last '/' (nodir lookups)
    bool wholeBuilt;      // whole holds an index
    bool lastPartsBuilt;  // lastParts holds an index
};

// Index of the entry called name under flags (ZIP_FL_NOCASE, ZIP_FL_NODIR,
// others handed to libzip), or -1 when there is none.
zip_int64_t LocateName(ArchiveObject *object, const char *name, zip_flags_t flags);

// Keeps the indexes in step: ForgetEntryName before the entry at index is
// renamed or deleted (libzip then frees its old name), LearnEntryName after
// it was renamed, or the change failed.
void ForgetEntryName(ArchiveObject *object, zip_uint64_t index);
void LearnEntryName(ArchiveObject *object, zip_uint64_t index);

// Keeps the indexes in step after an add gave index to an archive that had
// countBefore entries: a new entry is learned, while one put over an
// existing entry (ZIP_FL_OVERWRITE among a script's flags) may have freed
// the old name, so the indexes go and the next lookup builds them again.
void LearnAddedEntry(ArchiveObject *object, zip_uint64_t index, zip_int64_t countBefore);

// Frees the indexes; the next lookup builds them again.
void DropNameLookups(NameLookups *lookups);
