// Finding an entry by name. Exact lookups use libzip's own index; lookups
// that ignore case or directories use the folded-name indexes, or walk the
// entries where those cannot decide, because libzip folds case its own way
// and the host's folding must decide.
#include "library/name_lookup.h"

#include <cstring>

#include "core/folder.h"
#include "host.h"
#include "library/archive.h"

namespace {

constexpr zip_flags_t kWalkFlags = ZIP_FL_NOCASE | ZIP_FL_NODIR;

// Whether the stored name matches the query under the walk flags.
bool NameMatches(const char *stored, const char *query, zip_flags_t flags) {
    const char *compared = (flags & ZIP_FL_NODIR) ? LastNamePart(stored) : stored;
    if (flags & ZIP_FL_NOCASE) return host::CompareNoCase(compared, query) == 0;
    return std::strcmp(compared, query) == 0;
}

// Walks the entries from index 0 and returns the first that matches, or -1.
// Deleted entries have no name and are skipped.
zip_int64_t WalkForName(zip_t *archive, const char *name, zip_flags_t flags) {
    zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_flags_t nameFlags = flags & ~kWalkFlags;
    for (zip_int64_t index = 0; index < count; index++) {
        const char *stored = zip_get_name(archive, static_cast<zip_uint64_t>(index), nameFlags);
        if (stored && NameMatches(stored, name, flags)) return index;
    }
    return -1;
}

// The judges of the index's candidates: bytes, and the host ignoring case.
bool SameBytes(const char *stored, const char *query) { return std::strcmp(stored, query) == 0; }

bool SameIgnoringCase(const char *stored, const char *query) { return host::CompareNoCase(stored, query) == 0; }

// The index that serves lookups under flags, built now if needed; NULL when
// memory runs out, or for names libzip gives in another encoding.
NameIndex *IndexFor(ArchiveObject *object, zip_flags_t flags) {
    if (flags & ~kWalkFlags) return nullptr;
    bool lastPart = (flags & ZIP_FL_NODIR) != 0;
    NameLookups &lookups = object->names;
    NameIndex *index = lastPart ? &lookups.lastParts : &lookups.whole;
    bool &built = lastPart ? lookups.lastPartsBuilt : lookups.wholeBuilt;
    if (!built) built = BuildNameIndex(object->archive, lastPart ? NameKey::LastPart : NameKey::Whole, index);
    return built ? index : nullptr;
}

// Adds the entry to names where that index is built. An index that misses
// an entry must go: it would hide that entry.
void LearnInto(NameIndex *names, bool *built, zip_uint64_t index, const char *name) {
    if (*built && !AddIndexedName(names, index, name)) {
        FreeNameIndex(names);
        *built = false;
    }
}

}  // namespace

zip_int64_t LocateName(ArchiveObject *object, const char *name, zip_flags_t flags) {
    if (!(flags & kWalkFlags)) return zip_name_locate(object->archive, name, flags);
    if (NameIndex *index = IndexFor(object, flags)) {
        bool nocase = (flags & ZIP_FL_NOCASE) != 0;
        zip_int64_t found = FindIndexedName(index, name, nocase ? SameIgnoringCase : SameBytes, nocase);
        if (found != kWalkEntries) return found;
    }
    return WalkForName(object->archive, name, flags);
}

void ForgetEntryName(ArchiveObject *object, zip_uint64_t index) {
    const char *name = zip_get_name(object->archive, index, 0);
    if (!name) return;
    NameLookups &lookups = object->names;
    if (lookups.wholeBuilt) RemoveIndexedName(&lookups.whole, index, name);
    if (lookups.lastPartsBuilt) RemoveIndexedName(&lookups.lastParts, index, name);
}

void LearnEntryName(ArchiveObject *object, zip_uint64_t index) {
    const char *name = zip_get_name(object->archive, index, 0);
    if (!name) return;
    NameLookups &lookups = object->names;
    LearnInto(&lookups.whole, &lookups.wholeBuilt, index, name);
    LearnInto(&lookups.lastParts, &lookups.lastPartsBuilt, index, name);
}

void LearnAddedEntry(ArchiveObject *object, zip_uint64_t index, zip_int64_t countBefore) {
    if (static_cast<zip_int64_t>(index) >= countBefore) {
        LearnEntryName(object, index);
    } else {
        DropNameLookups(&object->names);
    }
}

void DropNameLookups(NameLookups *lookups) {
    if (lookups->wholeBuilt) FreeNameIndex(&lookups->whole);
    if (lookups->lastPartsBuilt) FreeNameIndex(&lookups->lastParts);
    *lookups = NameLookups{};
}
