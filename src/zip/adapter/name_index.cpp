// The case-folded name index of an archive that does not change.
#include "adapter/name_index.h"

#include <cstdlib>

#include "adapter/entry_names.h"

namespace {

// ASCII lower case, '\\' read as '/'.
unsigned char FoldAscii(unsigned char c) {
    if (c == '\\') return '/';
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// Compares two names after ASCII lower-casing, like strcmp.
int CompareFolded(const char *a, const char *b) {
    const auto *x = reinterpret_cast<const unsigned char *>(a);
    const auto *y = reinterpret_cast<const unsigned char *>(b);
    while (*x && FoldAscii(*x) == FoldAscii(*y)) x++, y++;
    return FoldAscii(*x) - FoldAscii(*y);
}

// qsort order of the folded array: folded name, then index.
int OrderFolded(const void *a, const void *b) {
    const auto *x = static_cast<const NamedEntry *>(a);
    const auto *y = static_cast<const NamedEntry *>(b);
    if (int order = CompareFolded(x->name, y->name)) return order;
    return x->index < y->index ? -1 : x->index > y->index ? 1 : 0;
}

bool IsAscii(const char *name) {
    for (const char *c = name; *c; c++) {
        if (static_cast<unsigned char>(*c) > 127) return false;
    }
    return true;
}

// The first element of the folded array not below name.
zip_uint64_t LowerBound(const NameIndex *index, const char *name) {
    zip_uint64_t low = 0, high = index->foldedCount;
    while (low < high) {
        zip_uint64_t middle = low + (high - low) / 2;
        if (CompareFolded(index->folded[middle].name, name) < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

// The lowest index among the pure-ASCII names that match ignoring case into
// *ignoringCase (or -1); returns the lowest that matches exactly, or -1.
zip_int64_t FindFolded(const NameIndex *index, const char *name, zip_int64_t *ignoringCase) {
    *ignoringCase = -1;
    for (zip_uint64_t i = LowerBound(index, name); i < index->foldedCount; i++) {
        const NamedEntry &entry = index->folded[i];
        if (CompareFolded(entry.name, name) != 0) break;
        if (SameName(entry.name, name, false)) return static_cast<zip_int64_t>(entry.index);
        if (*ignoringCase < 0 && SameName(entry.name, name, true)) *ignoringCase = static_cast<zip_int64_t>(entry.index);
    }
    return -1;
}

// The lowest index among the other names that match below limit, or -1.
zip_int64_t FindOther(const NameIndex *index, const char *name, zip_uint64_t limit) {
    for (zip_uint64_t i = 0; i < index->otherCount && index->other[i].index < limit; i++) {
        if (SameName(index->other[i].name, name, true)) return static_cast<zip_int64_t>(index->other[i].index);
    }
    return -1;
}

}  // namespace

bool BuildNameIndex(zip_t *archive, NameIndex *index) {
    zip_uint64_t count = 0;
    NamedEntry *all = CollectNamedEntries(archive, &count);
    if (!all) return false;
    auto *other = static_cast<NamedEntry *>(malloc((count > 0 ? count : 1) * sizeof(NamedEntry)));
    if (!other) {
        free(all);
        return false;
    }
    zip_uint64_t ascii = 0, others = 0;
    for (zip_uint64_t i = 0; i < count; i++) {
        if (IsAscii(all[i].name)) {
            all[ascii++] = all[i];
        } else {
            other[others++] = all[i];
        }
    }
    qsort(all, ascii, sizeof(NamedEntry), OrderFolded);
    *index = NameIndex{all, ascii, other, others};
    return true;
}

void FreeNameIndex(NameIndex *index) {
    free(index->folded);
    free(index->other);
    *index = NameIndex{};
}

zip_int64_t FindName(const NameIndex *index, const char *name) {
    if (!IsAscii(name)) return kWalkEntries;
    zip_int64_t found;
    // A pure-ASCII name matches exactly only pure-ASCII names.
    if (zip_int64_t exact = FindFolded(index, name, &found); exact >= 0) return exact;
    zip_uint64_t limit = found >= 0 ? static_cast<zip_uint64_t>(found) : UINT64_MAX;
    zip_int64_t other = FindOther(index, name, limit);
    return other >= 0 ? other : found;
}
