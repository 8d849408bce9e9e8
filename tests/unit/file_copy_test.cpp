// Copying the kept start of an archive: in the kernel within one file
// system, through memory where the kernel refuses (across file systems).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "core/file_copy.h"

namespace {

// An unnamed file in folder holding data; -1 when folder cannot hold one.
int FileWith(const char *folder, const std::string &data) {
    int file = open(folder, O_TMPFILE | O_RDWR, 0600);
    if (file >= 0 && pwrite(file, data.data(), data.size(), 0) != static_cast<ssize_t>(data.size())) {
        close(file);
        return -1;
    }
    return file;
}

std::string Contents(int file) {
    std::string data(static_cast<size_t>(lseek(file, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(file, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
    return data;
}

TEST(CopyFileStart, CopiesExactlyTheStartWithinAndAcrossFileSystems) {
    std::string data;
    for (uint64_t i = 0; data.size() < (3u << 20) + 5; i++) data += std::to_string(i * 7919) + ",";
    const struct {
        const char *from, *to;  // folders of the two files
        uint64_t length;        // bytes to copy
        bool copied;            // whether the copy succeeds
    } cases[] = {
        {"/tmp", "/tmp", 0, true},
        {"/tmp", "/tmp", 1, true},
        {"/tmp", "/tmp", data.size() - 5, true},
        {"/tmp", "/tmp", data.size() + 1, false},  // the source ends early
        {"/dev/shm", "/tmp", 1, true},
        {"/dev/shm", "/tmp", data.size(), true},
        {"/dev/shm", "/tmp", data.size() + 1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to + ", " + std::to_string(c.length));
        int from = FileWith(c.from, data), to = FileWith(c.to, "");
        if (from >= 0 && to >= 0) {
            EXPECT_EQ(CopyFileStart(from, to, c.length), c.copied);
            EXPECT_EQ(lseek(to, 0, SEEK_CUR), 0) << "the position is left alone";
            if (c.copied) {
                EXPECT_EQ(Contents(to), data.substr(0, c.length));
            }
        }
        if (from >= 0) close(from);
        if (to >= 0) close(to);
    }
}

}  // namespace
