// The adapter's name indexes against what a walk over every entry finds:
// an exact match, else the lowest matching entry ignoring case ('\\' read
// as '/'), the runs of names that directory scans list, and the names
// the adapter may give entries.
#include <gtest/gtest.h>

#include <zip.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "adapter/directory_index.h"
#include "adapter/entry_names.h"
#include "adapter/name_index.h"
#include "test_host.h"

namespace {

// An archive built in memory from names, each entry empty.
class EntryIndex : public ::testing::Test {
protected:
    void Open(const std::vector<std::string> &names) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t *empty = zip_source_buffer_create(nullptr, 0, 0, &error);
        ASSERT_NE(empty, nullptr);
        archive_ = zip_open_from_source(empty, 0, &error);
        ASSERT_NE(archive_, nullptr);
        for (const auto &name : names) {
            zip_source_t *data = zip_source_buffer(archive_, "", 0, 0);
            ASSERT_GE(zip_file_add(archive_, name.c_str(), data, ZIP_FL_ENC_UTF_8), 0) << name;
        }
        zip_error_fini(&error);
    }
    void TearDown() override {
        if (archive_) zip_discard(archive_);
    }
    zip_t *archive_ = nullptr;
};

TEST_F(EntryIndex, AnExactMatchElseTheLowestIgnoringCase) {
    Open({"zz", "Dir/File.TXT", "dir/file.txt", "DIR/FILE.txt", "dir/file.tx", "\xC3\x9C" "ber", "a\\B"});
    NameIndex index;
    ASSERT_TRUE(BuildNameIndex(archive_, &index));
    const std::pair<const char *, zip_int64_t> cases[] = {
        {"dir/FILE.txt", 1}, {"DIR/FILE.txt", 3}, {"DIR/FILE.TX", 4}, {"ZZ", 0}, {"a/b", 6},
        {"dir/file", -1},    {"dir/file.txt2", -1},
    };
    for (const auto &[name, want] : cases) {
        EXPECT_EQ(FindName(&index, name), want) << name;
        EXPECT_EQ(FindEntry(archive_, name), want) << name << ", by a walk";
    }
    EXPECT_EQ(FindName(&index, "\xC3\x9C" "BER"), -2) << "a name beyond ASCII is left to a walk";
    FreeNameIndex(&index);
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

TEST_F(EntryIndex, NamesBeyondAsciiAreAlwaysCompared) {
    // A host may fold bytes beyond ASCII its own way, so such names stay
    // out of the folded order and are compared one by one.
    Open({"b", "\xC3\x9C" "x", "A"});
    NameIndex index;
    ASSERT_TRUE(BuildNameIndex(archive_, &index));
    EXPECT_EQ(FindName(&index, "a"), 2);
    FreeNameIndex(&index);
}

TEST_F(EntryIndex, PrefixRunsHoldExactlyTheNamesInside) {
    Open({"a/x", "a.b", "a", "a/", "a0", "a/y/z", "b/a/x", "A/x", "a\\w"});
    DirectoryIndex index;
    ASSERT_TRUE(BuildDirectoryIndex(archive_, &index));
    zip_uint64_t first, end;
    FindPrefixRun(&index, "a/", 2, &first, &end);
    std::vector<zip_uint64_t> inside;
    for (zip_uint64_t i = first; i < end; i++) inside.push_back(index.sorted[i].index);
    EXPECT_EQ(inside, (std::vector<zip_uint64_t>{3, 8, 0, 5})) << "'\\\\' read as '/'";
    FindPrefixRun(&index, "c/", 2, &first, &end);
    EXPECT_EQ(first, end);
    FindPrefixRun(&index, "", 0, &first, &end);
    EXPECT_EQ(end - first, 9u);
    FreeDirectoryIndex(&index);
}

TEST(EntryNames, NewNamesHaveNoEmptyOrDotParts) {
    const std::pair<const char *, bool> cases[] = {
        {"a", true},       {"a/b.txt", true}, {"..a/b..", true}, {"", false},    {"/a", false},  {"a//b", false},
        {"a/", false},     {".", false},      {"..", false},     {"a/./b", false}, {"x/../../e", false},
        {"a\\..\\b", false},
    };
    for (const auto &[name, sound] : cases) EXPECT_EQ(IsSoundNewName(name), sound) << name;
}

}  // namespace
