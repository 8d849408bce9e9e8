// The entry reader on deflated entries built by hand: the deflate data, the
// size and the CRC the directory claims each vary, and only a sound entry
// reads to its end.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "core/entry_reader.h"
#include "test_host.h"

namespace {

const std::string kText = [] {
    std::string text;
    for (int i = 0; i < 20000; i++) text += std::to_string(i * 7919 % 10007) + ",";
    return text;
}();

// Raw deflate data of text.
std::string Deflate(const std::string &text) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

void Put(std::string *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out->push_back(static_cast<char>(value >> (8 * i)));
}

// An archive with one deflated entry "e" holding data, claiming size and crc.
std::string Archive(const std::string &data, uint32_t size, uint32_t crc) {
    auto header = [&](std::string *out, uint32_t signature, bool central) {
        Put(out, signature, 4);
        if (central) Put(out, 20, 2);
        for (uint32_t field : {20u, 0u, 8u, 0u, 0x21u}) Put(out, field, 2);
        Put(out, crc, 4), Put(out, static_cast<uint32_t>(data.size()), 4), Put(out, size, 4);
        Put(out, 1, 2), Put(out, 0, 2);
        if (central) Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 4), Put(out, 0, 4);
        out->push_back('e');
    };
    std::string zip;
    header(&zip, 0x04034b50, false);
    zip += data;
    uint32_t directory = static_cast<uint32_t>(zip.size());
    header(&zip, 0x02014b50, true);
    uint32_t directorySize = static_cast<uint32_t>(zip.size()) - directory;
    Put(&zip, 0x06054b50, 4), Put(&zip, 0, 4), Put(&zip, 1, 2), Put(&zip, 1, 2);
    Put(&zip, directorySize, 4), Put(&zip, directory, 4), Put(&zip, 0, 2);
    return zip;
}

// Reads the entry in chunks of chunk bytes; the data, or "FAILED".
std::string ReadAll(const std::string &bytes, size_t chunk) {
    zip_source_t *source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
    zip_error_t error;
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    EXPECT_NE(archive, nullptr) << zip_error_strerror(&error);
    zip_stat_t stat;
    zip_stat_index(archive, 0, 0, &stat);
    bool noMemory = false;
    EntryReader *reader = OpenEntryReader(archive, 0, nullptr, &noMemory);
    std::string out, buffer(chunk, '\0');
    bool ok = reader != nullptr;
    do {
        size_t count = stat.size - out.size() < chunk ? stat.size - out.size() : chunk;
        ok = ok && ReadEntry(reader, buffer.data(), count);
        if (ok) out.append(buffer, 0, count);
    } while (ok && out.size() < stat.size);
    CloseEntryReader(reader);
    zip_discard(archive);
    return ok ? out : "FAILED";
}

TEST(EntryReader, OnlySoundDeflatedEntriesReadToTheirEnd) {
    const std::string deflated = Deflate(kText);
    const uint32_t size = static_cast<uint32_t>(kText.size());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(kText.data()), size));
    std::string flipped = deflated;
    flipped[flipped.size() / 2] ^= 0x10;
    const std::string empty = Deflate("");
    struct Case {
        const char *what;
        std::string data;
        uint32_t size, crc;
        bool sound;
    } cases[] = {
        {"sound", deflated, size, crc, true},
        {"bytes after the deflate data are dropped", deflated + "junk", size, crc, true},
        {"empty", empty, 0, 0, true},
        {"wrong CRC", deflated, size, crc ^ 1, false},
        {"data longer than the size", deflated, size - 1, crc, false},
        {"data shorter than the size", deflated, size + 1, crc, false},
        {"flipped byte", flipped, size, crc, false},
        {"cut deflate data", deflated.substr(0, deflated.size() - 3), size, crc, false},
        {"reserved block type", std::string("\x07\x00", 2), 0, 0, false},
        {"empty entry with more data", Deflate("x"), 0, 0, false},
    };
    for (const Case &c : cases) {
        for (size_t chunk : {size_t{1000}, size_t{65536}}) {
            std::string got = ReadAll(Archive(c.data, c.size, c.crc), chunk);
            if (c.sound) {
                EXPECT_EQ(got, c.size ? kText : "") << c.what;
            } else {
                EXPECT_EQ(got, "FAILED") << c.what;
            }
        }
        EXPECT_EQ(testhost::LiveBlocks(), 0) << c.what;
    }
}

}  // namespace
