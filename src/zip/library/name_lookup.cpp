// Finding an entry by name. Exact lookups use libzip's own index; lookups
// that ignore case or directories walk the entries, because libzip folds
// case its own way and the host's folding must decide.
#include "library/name_lookup.h"

#include <cstring>

#include "host.h"

namespace {

constexpr zip_flags_t kWalkFlags = ZIP_FL_NOCASE | ZIP_FL_NODIR;

// The part of a stored name after its last '/'; "" for a directory entry.
const char *LastNamePart(const char *name) {
    const char *slash = std::strrchr(name, '/');
    return slash ? slash + 1 : name;
}

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

}  // namespace

zip_int64_t LocateName(zip_t *archive, const char *name, zip_flags_t flags) {
    if (!(flags & kWalkFlags)) return zip_name_locate(archive, name, flags);
    return WalkForName(archive, name, flags);
}
