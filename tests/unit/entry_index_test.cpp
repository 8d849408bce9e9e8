// The adapter's name indexes against what a walk over every entry finds:
// the lowest matching entry ignoring case, and the runs of names that
// directory scans list.
#include <gtest/gtest.h>

#include <zip.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "adapter/directory_index.h"
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

TEST_F(EntryIndex, IgnoringCaseFindsTheLowestMatch) {
    Open({"zz", "Dir/File.TXT", "dir/file.txt", "DIR/FILE.txt", "dir/file.tx", "\xC3\x9C" "ber"});
    NameIndex index;
    ASSERT_TRUE(BuildNameIndex(archive_, &index));
    EXPECT_EQ(FindNameIgnoringCase(&index, "dir/FILE.txt"), 1);
    EXPECT_EQ(FindNameIgnoringCase(&index, "DIR/FILE.TX"), 4);
    EXPECT_EQ(FindNameIgnoringCase(&index, "ZZ"), 0);
    EXPECT_EQ(FindNameIgnoringCase(&index, "dir/file"), -1);
    EXPECT_EQ(FindNameIgnoringCase(&index, "dir/file.txt2"), -1);
    EXPECT_EQ(FindNameIgnoringCase(&index, "\xC3\x9C" "BER"), -2) << "a name beyond ASCII is left to a walk";
    FreeNameIndex(&index);
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

TEST_F(EntryIndex, NamesBeyondAsciiAreAlwaysCompared) {
    // A host may fold bytes beyond ASCII its own way, so such names stay
    // out of the folded order and are compared one by one.
    Open({"b", "\xC3\x9C" "x", "A"});
    NameIndex index;
    ASSERT_TRUE(BuildNameIndex(archive_, &index));
    EXPECT_EQ(index.foldedCount, 2u);
    EXPECT_EQ(index.otherCount, 1u);
    EXPECT_EQ(FindNameIgnoringCase(&index, "a"), 2);
    FreeNameIndex(&index);
}

TEST_F(EntryIndex, PrefixRunsHoldExactlyTheNamesInside) {
    Open({"a/x", "a.b", "a", "a/", "a0", "a/y/z", "b/a/x", "A/x"});
    DirectoryIndex index;
    ASSERT_TRUE(BuildDirectoryIndex(archive_, &index));
    zip_uint64_t first, end;
    FindPrefixRun(&index, "a/", 2, &first, &end);
    std::vector<zip_uint64_t> inside;
    for (zip_uint64_t i = first; i < end; i++) inside.push_back(index.sorted[i].index);
    EXPECT_EQ(inside, (std::vector<zip_uint64_t>{3, 0, 5}));
    FindPrefixRun(&index, "c/", 2, &first, &end);
    EXPECT_EQ(first, end);
    FindPrefixRun(&index, "", 0, &first, &end);
    EXPECT_EQ(end - first, 8u);
    FreeDirectoryIndex(&index);
}

}  // namespace
