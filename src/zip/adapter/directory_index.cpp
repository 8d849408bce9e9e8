// The name-sorted entry index behind directory scans.
#include "adapter/directory_index.h"

#include <cstdint>
#include <cstdlib>

#include "adapter/entry_names.h"

namespace {

// qsort order: name bytes ('\\' read as '/'), then index.
int OrderByName(const void *a, const void *b) {
    const auto *x = static_cast<const NamedEntry *>(a);
    const auto *y = static_cast<const NamedEntry *>(b);
    if (int order = CompareNames(x->name, y->name, SIZE_MAX)) return order;
    return x->index < y->index ? -1 : x->index > y->index ? 1 : 0;
}

// The first element from which on the n bytes of every name compare above
// prefix (with strictly false) or not below it (with strictly true).
zip_uint64_t Partition(const DirectoryIndex *index, const char *prefix, size_t n, bool strictly) {
    zip_uint64_t low = 0, high = index->count;
    while (low < high) {
        zip_uint64_t middle = low + (high - low) / 2;
        int order = CompareNames(index->sorted[middle].name, prefix, n);
        if (strictly ? order < 0 : order <= 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

}  // namespace

bool BuildDirectoryIndex(zip_t *archive, DirectoryIndex *index) {
    zip_uint64_t count = 0;
    NamedEntry *sorted = CollectNamedEntries(archive, &count);
    if (!sorted) return false;
    zip_uint64_t served = 0;
    for (zip_uint64_t i = 0; i < count; i++) {
        if (IsServedName(sorted[i].name)) sorted[served++] = sorted[i];
    }
    count = served;
    qsort(sorted, count, sizeof(NamedEntry), OrderByName);
    *index = DirectoryIndex{sorted, count};
    return true;
}

void FreeDirectoryIndex(DirectoryIndex *index) {
    free(index->sorted);
    *index = DirectoryIndex{};
}

void FindPrefixRun(const DirectoryIndex *index, const char *prefix, size_t n, zip_uint64_t *first, zip_uint64_t *end) {
    *first = Partition(index, prefix, n, true);
    *end = Partition(index, prefix, n, false);
}
