// Finding an entry by name. Lookups that ignore case compare names with the
// host's CompareNoCase (never libzip's own folding) and take the lowest
// matching index.
#pragma once

#include <zip.h>

// Index of the entry called name under flags (ZIP_FL_NOCASE, ZIP_FL_NODIR,
// others handed to libzip), or -1 when there is none.
zip_int64_t LocateName(zip_t *archive, const char *name, zip_flags_t flags);
