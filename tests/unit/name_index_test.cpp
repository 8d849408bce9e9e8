// The folded-name index against a walk over every entry, while entries are
// added, renamed and deleted in a random order that drives its runs through
// many merges.
#include <gtest/gtest.h>

#include <strings.h>
#include <zip.h>

#include <cstring>
#include <random>
#include <string>

#include "core/name_index.h"

namespace {

// True when stored is query, byte for byte.
bool Exactly(const char *stored, const char *query) { return std::string(stored) == query; }
// True when stored is query, ignoring ASCII case.
bool IgnoringCase(const char *stored, const char *query) { return strcasecmp(stored, query) == 0; }

// The lowest entry whose key matches, found by a walk.
zip_int64_t Walk(zip_t *archive, NameKey key, const std::string &query, NameMatch match) {
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); i++) {
        const char *name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        const char *slash = name && key == NameKey::LastPart ? std::strrchr(name, '/') : nullptr;
        if (name && match(slash ? slash + 1 : name, query.c_str())) return i;
    }
    return -1;
}

TEST(NameIndex, FindsWhatAWalkFindsThroughAddsRenamesAndDeletes) {
    zip_t *archive = zip_open_from_source(zip_source_buffer_create(nullptr, 0, 0, nullptr), ZIP_TRUNCATE, nullptr);
    ASSERT_NE(archive, nullptr);
    std::mt19937 random(20);
    auto name = [&] {
        std::string made;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; n--) made += (const char *[]){"a", "A", "b", "\xC3\xA9", "/"}[random() % 5];
        return made;
    };
    NameIndex indexes[2];
    const NameKey keys[2] = {NameKey::Whole, NameKey::LastPart};
    for (int k = 0; k < 2; k++) ASSERT_TRUE(BuildNameIndex(archive, keys[k], &indexes[k]));
    for (int step = 0; step < 3000; step++) {
        zip_int64_t count = zip_get_num_entries(archive, 0);
        auto entry = static_cast<zip_uint64_t>(count > 0 ? random() % count : 0);
        const char *old = count > 0 ? zip_get_name(archive, entry, 0) : nullptr;
        if (int operation = static_cast<int>(random() % 4); operation > 0 && old) {
            for (NameIndex &index : indexes) RemoveIndexedName(&index, entry, old);
            if (operation == 1) zip_delete(archive, entry);
            if (operation == 2) zip_file_rename(archive, entry, name().c_str(), 0);
        } else {
            entry = static_cast<zip_uint64_t>(zip_dir_add(archive, name().c_str(), 0));
        }
        if (const char *now = zip_get_name(archive, entry, 0)) {
            for (NameIndex &index : indexes) ASSERT_TRUE(AddIndexedName(&index, entry, now));
        }
        std::string query = name();
        bool ascii = query.find('\xC3') == std::string::npos;
        for (int k = 0; k < 2; k++) {
            for (NameMatch match : {IgnoringCase, Exactly}) {
                EXPECT_EQ(FindIndexedName(&indexes[k], query.c_str(), match, match == IgnoringCase),
                          ascii ? Walk(archive, keys[k], query, match) : kWalkEntries);
            }
        }
    }
    for (NameIndex &index : indexes) FreeNameIndex(&index);
    zip_discard(archive);
}

}  // namespace
