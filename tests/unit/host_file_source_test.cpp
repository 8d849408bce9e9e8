// The libzip source over host archive files, driven command by command:
// positions and sizes beyond 4 GiB, and what FREE releases.
#include <gtest/gtest.h>

#include <vector>

#include "core/host_archive_source.h"
#include "host.h"
#include "test_host.h"

namespace {

constexpr int64_t kFiveGiB = INT64_C(5) << 30;

// Source records over file, from host memory like the module's own.
HostArchiveSource *MakeArchive(testhost::File *file) {
    auto *record = static_cast<HostArchiveSource *>(host::AllocMemory(sizeof(HostArchiveSource), true, "scb"));
    record->handle = file->handle();
    record->size = static_cast<uint64_t>(file->size);
    return record;
}

zip_int64_t Call(HostArchiveSource *record, zip_source_cmd_t command, void *data = nullptr, zip_uint64_t length = 0) {
    return HostArchiveSourceCallback(record, data, length, command);
}

// Seeks the source as libzip does: offset from whence.
zip_int64_t Seek(HostArchiveSource *record, zip_int64_t offset, int whence) {
    zip_source_args_seek_t args{offset, whence};
    return Call(record, ZIP_SOURCE_SEEK, &args, sizeof args);
}

TEST(HostFileSource, ArchiveBeyondFourGiBSeeksTellsAndReadsInFull) {
    testhost::File file;
    file.size = kFiveGiB;
    HostArchiveSource *record = MakeArchive(&file);
    EXPECT_EQ(Seek(record, 0, SEEK_END), 0);
    EXPECT_EQ(Call(record, ZIP_SOURCE_TELL), kFiveGiB);
    EXPECT_EQ(Seek(record, -22, SEEK_CUR), 0);
    EXPECT_EQ(Seek(record, 23, SEEK_CUR), -1) << "beyond the end";
    EXPECT_EQ(Seek(record, -1, SEEK_SET), -1) << "before the start";
    EXPECT_EQ(Call(record, ZIP_SOURCE_TELL), kFiveGiB - 22);
    zip_stat_t stat;
    EXPECT_EQ(Call(record, ZIP_SOURCE_STAT, &stat, sizeof stat), static_cast<zip_int64_t>(sizeof stat));
    EXPECT_EQ(stat.valid, ZIP_STAT_SIZE);
    EXPECT_EQ(stat.size, static_cast<zip_uint64_t>(kFiveGiB));
    EXPECT_EQ(Call(record, static_cast<zip_source_cmd_t>(99)), -1);
    // libzip may ask for more than 4 GiB; only the last 22 bytes are left.
    std::vector<char> buffer(22);
    EXPECT_EQ(Call(record, ZIP_SOURCE_READ, buffer.data(), (UINT64_C(1) << 32) + 5), 22);
    EXPECT_EQ(file.lastReadCount, INT32_MAX) << "the host is asked for what its count holds";
    EXPECT_EQ(Call(record, ZIP_SOURCE_FREE), 0);
    EXPECT_TRUE(file.closed);
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

}  // namespace
