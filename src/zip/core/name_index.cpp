// The case-folded name index.
#include "core/name_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/folder.h"

namespace {

// Every byte in ASCII lower case, '\\' read as '/': a table, since sorting
// a million names folds some hundred million bytes.
constexpr struct FoldTable {
    unsigned char folded[256];
    constexpr FoldTable() : folded() {
        for (int c = 0; c < 256; c++) folded[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        folded['\\'] = '/';
    }
} kFold;

// Compares two names after ASCII lower-casing, like strcmp.
int CompareFolded(const char *a, const char *b) {
    const auto *x = reinterpret_cast<const unsigned char *>(a);
    const auto *y = reinterpret_cast<const unsigned char *>(b);
    while (*x && kFold.folded[*x] == kFold.folded[*y]) x++, y++;
    return kFold.folded[*x] - kFold.folded[*y];
}

// The order of a level: folded key, then index.
int OrderFolded(const NamedEntry &x, const NamedEntry &y) {
    if (int order = CompareFolded(x.name, y.name)) return order;
    return x.index < y.index ? -1 : x.index > y.index ? 1 : 0;
}

// Whether every byte of name is ASCII: only such keys fold as the host does.
bool IsAscii(const char *name) {
    for (const char *c = name; *c; c++) {
        if (static_cast<unsigned char>(*c) > 127) return false;
    }
    return true;
}

// The part of name the index looks up.
const char *KeyOf(NameKey key, const char *name) {
    return key == NameKey::Whole ? name : LastNamePart(name);
}

// The first element of the level not below probe: by folded key and, with
// byIndex, index.
zip_uint64_t LowerBound(const NamedEntry *level, zip_uint64_t count, const NamedEntry &probe, bool byIndex) {
    zip_uint64_t low = 0, high = count;
    while (low < high) {
        zip_uint64_t middle = low + (high - low) / 2;
        int order = byIndex ? OrderFolded(level[middle], probe) : CompareFolded(level[middle].name, probe.name);
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

// Merges two sorted levels into a new array; NULL when memory runs out.
NamedEntry *Merge(const NamedEntry *a, zip_uint64_t aCount, const NamedEntry *b, zip_uint64_t bCount) {
    auto *merged = static_cast<NamedEntry *>(malloc((aCount + bCount) * sizeof(NamedEntry)));
    if (!merged) return nullptr;
    zip_uint64_t i = 0, j = 0, k = 0;
    while (i < aCount && j < bCount) merged[k++] = OrderFolded(a[i], b[j]) <= 0 ? a[i++] : b[j++];
    while (i < aCount) merged[k++] = a[i++];
    while (j < bCount) merged[k++] = b[j++];
    return merged;
}

// The lowest level that may hold count elements.
int LevelFor(zip_uint64_t count) {
    int level = 0;
    while (level < kNameLevels - 1 && (zip_uint64_t{1} << level) < count) level++;
    return level;
}

// Adds a pure-ASCII key: a run of one, merged upwards like a binary carry.
bool AddFolded(NameIndex *index, const NamedEntry &entry) {
    auto *carry = static_cast<NamedEntry *>(malloc(sizeof(NamedEntry)));
    if (!carry) return false;
    *carry = entry;
    zip_uint64_t carryCount = 1;
    int level = 0;
    for (; level < kNameLevels - 1 && index->levels[level]; level++) {
        NamedEntry *merged = Merge(index->levels[level], index->counts[level], carry, carryCount);
        free(carry);
        if (!merged) return false;
        carryCount += index->counts[level];
        free(index->levels[level]);
        index->levels[level] = nullptr;
        index->counts[level] = 0;
        carry = merged;
    }
    index->levels[level] = carry;
    index->counts[level] = carryCount;
    return true;
}

// Takes a pure-ASCII key out of the level that holds it.
void RemoveFolded(NameIndex *index, const NamedEntry &entry) {
    for (int level = 0; level < kNameLevels; level++) {
        NamedEntry *items = index->levels[level];
        zip_uint64_t count = index->counts[level];
        zip_uint64_t at = LowerBound(items, count, entry, true);
        if (at == count || items[at].index != entry.index || CompareFolded(items[at].name, entry.name) != 0) continue;
        std::memmove(items + at, items + at + 1, (count - at - 1) * sizeof(NamedEntry));
        index->counts[level]--;
        return;
    }
}

// Appends a key with bytes above 127 (entries arrive in index order).
bool AddOther(NameIndex *index, const NamedEntry &entry) {
    if (index->otherCount == index->otherCapacity) {
        zip_uint64_t capacity = index->otherCapacity ? index->otherCapacity * 2 : 16;
        void *grown = realloc(index->other, capacity * sizeof(NamedEntry));
        if (!grown) return false;
        index->other = static_cast<NamedEntry *>(grown);
        index->otherCapacity = capacity;
    }
    zip_uint64_t at = index->otherCount;
    while (at > 0 && index->other[at - 1].index > entry.index) at--;
    std::memmove(index->other + at + 1, index->other + at, (index->otherCount - at) * sizeof(NamedEntry));
    index->other[at] = entry;
    index->otherCount++;
    return true;
}

// Takes the entry's key with bytes above 127 out.
void RemoveOther(NameIndex *index, zip_uint64_t entry) {
    for (zip_uint64_t i = 0; i < index->otherCount; i++) {
        if (index->other[i].index != entry) continue;
        std::memmove(index->other + i, index->other + i + 1, (index->otherCount - i - 1) * sizeof(NamedEntry));
        index->otherCount--;
        return;
    }
}

// The lowest entry of one level whose key matches, or UINT64_MAX: within a
// run of equal folded keys the entries lie in index order.
zip_uint64_t FindInLevel(const NamedEntry *level, zip_uint64_t count, const char *query, NameMatch match) {
    for (zip_uint64_t i = LowerBound(level, count, NamedEntry{query, 0}, false); i < count; i++) {
        if (CompareFolded(level[i].name, query) != 0) break;
        if (match(level[i].name, query)) return level[i].index;
    }
    return UINT64_MAX;
}

}  // namespace

bool BuildNameIndex(zip_t *archive, NameKey key, NameIndex *index) {
    *index = NameIndex{};
    index->key = key;
    zip_uint64_t count = 0;
    NamedEntry *all = CollectNamedEntries(archive, &count);
    if (!all) return false;
    zip_uint64_t ascii = 0;
    for (zip_uint64_t i = 0; i < count; i++) {
        NamedEntry entry{KeyOf(key, all[i].name), all[i].index};
        if (IsAscii(entry.name)) {
            all[ascii++] = entry;
        } else if (!AddOther(index, entry)) {
            free(all);
            FreeNameIndex(index);
            return false;
        }
    }
    std::sort(all, all + ascii, [](const NamedEntry &x, const NamedEntry &y) { return OrderFolded(x, y) < 0; });
    int level = LevelFor(ascii);
    index->levels[level] = all;
    index->counts[level] = ascii;
    return true;
}

void FreeNameIndex(NameIndex *index) {
    for (NamedEntry *level : index->levels) free(level);
    free(index->other);
    *index = NameIndex{};
}

bool AddIndexedName(NameIndex *index, zip_uint64_t entry, const char *name) {
    NamedEntry keyed{KeyOf(index->key, name), entry};
    return IsAscii(keyed.name) ? AddFolded(index, keyed) : AddOther(index, keyed);
}

void RemoveIndexedName(NameIndex *index, zip_uint64_t entry, const char *name) {
    NamedEntry keyed{KeyOf(index->key, name), entry};
    if (IsAscii(keyed.name)) {
        RemoveFolded(index, keyed);
    } else {
        RemoveOther(index, entry);
    }
}

zip_int64_t FindIndexedName(const NameIndex *index, const char *query, NameMatch match, bool withOther) {
    if (!IsAscii(query)) return kWalkEntries;
    zip_uint64_t found = UINT64_MAX;
    for (int level = 0; level < kNameLevels; level++) {
        zip_uint64_t lowest = FindInLevel(index->levels[level], index->counts[level], query, match);
        if (lowest < found) found = lowest;
    }
    for (zip_uint64_t i = 0; withOther && i < index->otherCount && index->other[i].index < found; i++) {
        if (match(index->other[i].name, query)) found = index->other[i].index;
    }
    return found == UINT64_MAX ? -1 : static_cast<zip_int64_t>(found);
}
