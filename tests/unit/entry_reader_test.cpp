// The entry reader on deflated entries built by hand: the deflate data, the
// size and the CRC the directory claims each vary, and only a sound entry
// reads to its end.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "one_entry_archive.h"
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
            const std::string archive = oneentry::Archive(c.data.data(), c.data.size(), c.size, c.crc);
            std::string got;
            const bool read = oneentry::Read(archive, c.size, chunk, &got);
            EXPECT_EQ(read, c.sound) << c.what;
            if (c.sound) {
                EXPECT_EQ(got, c.size ? kText : "") << c.what;
            }
        }
        EXPECT_EQ(testhost::LiveBlocks(), 0) << c.what;
    }
}

}  // namespace
