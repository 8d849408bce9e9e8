// EntryEndsCleanly: the read past the last byte is where this libzip
// reports a CRC mismatch; AES entries that store CRC 0 are not held to it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "library/entry_stream.h"

namespace {

const std::string kData(100000, 'x');

// An archive in memory holding kData as one stored entry "data.bin".
std::string StoredArchive() {
    char path[] = "/tmp/entry_stream_testXXXXXX";
    int fd = mkstemp(path);
    close(fd);
    zip_t *archive = zip_open(path, ZIP_TRUNCATE, nullptr);
    zip_source_t *source = zip_source_buffer(archive, kData.data(), kData.size(), 0);
    zip_int64_t index = zip_file_add(archive, "data.bin", source, 0);
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    zip_close(archive);
    std::string bytes;
    FILE *file = std::fopen(path, "rb");
    for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
    std::fclose(file);
    std::remove(path);
    return bytes;
}

// Opens archive bytes read-only from memory; the bytes must outlive it.
zip_t *OpenFromMemory(const std::string &bytes) {
    zip_source_t *source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
    return zip_open_from_source(source, ZIP_RDONLY, nullptr);
}

// Reads exactly the entry's size, as the extraction loop does, then asks
// whether the stream ends cleanly.
bool ReadsCleanlyToTheEnd(const std::string &bytes) {
    zip_t *archive = OpenFromMemory(bytes);
    EXPECT_NE(archive, nullptr);
    zip_stat_t stat;
    zip_stat_index(archive, 0, 0, &stat);
    zip_file_t *file = zip_fopen_index(archive, 0, 0);
    std::string buffer(stat.size, '\0');
    EXPECT_EQ(zip_fread(file, buffer.data(), stat.size), static_cast<zip_int64_t>(stat.size));
    bool clean = EntryEndsCleanly(file, stat);
    zip_fclose(file);
    zip_discard(archive);
    return clean;
}

// A stat record as libzip gives it for an entry read from the directory.
zip_stat_t StatOf(zip_uint16_t encryption, zip_uint32_t crc) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    stat.valid = ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_SIZE;
    stat.encryption_method = encryption;
    stat.crc = crc;
    return stat;
}

TEST(EntryStream, IntactEntryEndsCleanly) { EXPECT_TRUE(ReadsCleanlyToTheEnd(StoredArchive())); }

TEST(EntryStream, FlippedByteIsCaughtOnlyAtTheEnd) {
    std::string bytes = StoredArchive();
    size_t at = bytes.find(std::string(100, 'x'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5000] = 'y';
    EXPECT_FALSE(ReadsCleanlyToTheEnd(bytes));
}

TEST(EntryStream, AesEntriesWithCrcZeroAreNotRead) {
    // A null file would crash if it were read: these must not be.
    for (zip_uint16_t method : {ZIP_EM_AES_128, ZIP_EM_AES_192, ZIP_EM_AES_256})
        EXPECT_TRUE(EntryEndsCleanly(nullptr, StatOf(method, 0))) << method;
}

TEST(EntryStream, OtherEntriesWithCrcZeroAreStillRead) {
    // libzip answers a read of a null file with -1: these were read.
    EXPECT_FALSE(EntryEndsCleanly(nullptr, StatOf(ZIP_EM_NONE, 0)));
    EXPECT_FALSE(EntryEndsCleanly(nullptr, StatOf(ZIP_EM_TRAD_PKWARE, 0)));
    EXPECT_FALSE(EntryEndsCleanly(nullptr, StatOf(ZIP_EM_AES_256, 0x1234)));
}

}  // namespace
