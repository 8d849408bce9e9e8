// Collecting an archive's entry names for the sorted lookup arrays.
#include "core/named_entry.h"

#include <cstdlib>

NamedEntry *CollectNamedEntries(zip_t *archive, zip_uint64_t *count) {
    zip_int64_t entries = zip_get_num_entries(archive, 0);
    size_t capacity = entries > 0 ? static_cast<size_t>(entries) : 1;
    auto *collected = static_cast<NamedEntry *>(malloc(capacity * sizeof(NamedEntry)));
    if (!collected) return nullptr;
    *count = 0;
    for (zip_int64_t i = 0; i < entries; i++) {
        const char *name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name) collected[(*count)++] = NamedEntry{name, static_cast<zip_uint64_t>(i)};
    }
    return collected;
}
