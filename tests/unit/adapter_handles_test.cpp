// Adapter entry points called directly, for what the host never asks:
// no tags, negative counts, seeks that overflow or name no mode.
#include <gtest/gtest.h>

#include <zip.h>

#include <cstdlib>
#include <string>

#include "test_host.h"

extern "C" {
void *OpenDir(const char *path, void *reserved, const TagItem *tags);
int CloseDir(void *handle);
void *FOpen(const char *path, int mode, const TagItem *tags);
int32_t FRead(void *handle, void *buffer, int32_t count);
int64_t FSeek(void *handle, int64_t offset, int mode);
int FFlush(void *handle);
int FClose(void *handle);
}

namespace {

// A scratch archive holding one 10-byte entry.
class AdapterHandles : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/adapter-unit-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir_ = folder;
        path_ = dir_ + "/t.zip";
        zip_t *archive = zip_open(path_.c_str(), ZIP_CREATE, nullptr);
        ASSERT_NE(archive, nullptr);
        zip_source_t *source = zip_source_buffer(archive, "0123456789", 10, 0);
        ASSERT_GE(zip_file_add(archive, "ten", source, 0), 0);
        ASSERT_EQ(zip_close(archive), 0);
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(testhost::LiveBlocks(), 0);
    }
    std::string dir_, path_;
};

// The scan lets FOpen borrow its archive.
TEST_F(AdapterHandles, ReadingHandleRefusesWhatMakesNoSense) {
    void *scan = OpenDir(path_.c_str(), nullptr, nullptr);
    ASSERT_NE(scan, nullptr);
    void *file = FOpen((path_ + "/ten").c_str(), FMODE_READ, nullptr);
    ASSERT_NE(file, nullptr);
    char buffer[1];
    EXPECT_EQ(FRead(file, buffer, -5), 0);
    EXPECT_EQ(FSeek(file, INT64_MAX, SEEK_FROM_START), 0);
    EXPECT_EQ(FSeek(file, INT64_MAX, SEEK_FROM_CURRENT), -1) << "overflow";
    EXPECT_EQ(FSeek(file, 3, 7), INT64_MAX) << "unknown mode keeps the position";
    EXPECT_EQ(FFlush(file), 0);
    EXPECT_EQ(CloseDir(scan), 0);
    EXPECT_EQ(FClose(file), 1);
}

}  // namespace
