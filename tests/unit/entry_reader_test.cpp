// The entry reader on entries built by hand: the deflate data, the size
// and the CRC the directory claims each vary, and only a sound entry reads
// to its end, in order or after moves; restart points keep to their caps.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "core/restart_points.h"
#include "one_entry_archive.h"
#include "test_host.h"

namespace {

const std::string kText = [] {
    std::string text;
    for (int i = 0; i < 20000; i++) text += std::to_string(i * 7919 % 10007) + ",";
    return text;
}();

// Raw deflate data of text; the 1 KiB at each offset in stored goes into a
// stored block, the middle of which in the deflate data lands in *middles.
std::string Deflate(const std::string &text, std::vector<size_t> stored = {}, std::vector<size_t> *middles = nullptr) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 64 * stored.size(), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    stored.push_back(text.size());
    for (size_t i = 0, at = 0; i < stored.size(); i++) {
        stream.avail_in = static_cast<uInt>(stored[i] - at);
        deflate(&stream, Z_NO_FLUSH);
        if (i + 1 == stored.size()) break;
        deflateParams(&stream, 0, Z_DEFAULT_STRATEGY);
        size_t before = stream.total_out;
        stream.avail_in = 1024;
        deflate(&stream, Z_NO_FLUSH);
        deflateParams(&stream, 6, Z_DEFAULT_STRATEGY);
        middles->push_back((before + stream.total_out) / 2);
        at = stored[i] + 1024;
    }
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

// 4 MiB of text that deflates to many blocks.
const std::string kLongText = [] {
    std::string text;
    for (uint32_t i = 0, x = 1; text.size() < (4u << 20); i++) {
        text += std::to_string(x = x * 1103515245u + 12345u) + (i % 9 ? " " : "\n");
    }
    text.resize(4u << 20);
    return text;
}();

TEST(EntryReader, ReadsAtAnyPositionAndChecksTheEndWhereItCan) {
    const size_t size = kLongText.size(), early = 100000, late = size - 20000;
    std::vector<size_t> middles;
    const std::string deflated = Deflate(kLongText, {early, late}, &middles);
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(kLongText.data()), static_cast<uInt>(size)));
    struct Case {
        const char *what;
        uint32_t method;
        size_t damage;  // the byte flipped in the data, or SIZE_MAX
        bool endIntact;
    } cases[] = {
        {"deflated", 8, SIZE_MAX, true},
        {"deflated, damaged before the points", 8, middles[0], false},
        {"deflated, damaged after the last point", 8, middles[1], false},
        {"stored", 0, SIZE_MAX, true},
        {"stored, damaged: no CRC once bytes were skipped", 0, early, true},
    };
    for (const Case &c : cases) {
        std::string data = c.method == 8 ? deflated : kLongText;
        if (c.damage != SIZE_MAX) data[c.damage] ^= 0x20;
        const std::string archiveBytes =
            oneentry::Archive(data.data(), data.size(), static_cast<uint32_t>(size), crc, c.method);
        zip_t *archive = oneentry::Open(archiveBytes);
        RestartPoints *points = CreateRestartPoints(size);
        bool noMemory = false;
        // Damaged data may read as anything.
        const std::string *expected = c.damage == SIZE_MAX ? &kLongText : nullptr;
        // The first reader records points on its way; the second starts
        // from the last of them, past any damage it never reads.
        EntryReader *first = OpenEntryReader(archive, 0, nullptr, &noMemory);
        ShareRestartPoints(first, points);
        for (size_t at : {size_t{3} << 20, size_t{100}, (size_t{2} << 20) + 5, size_t{1} << 20}) {
            EXPECT_TRUE(oneentry::ReadAt(first, expected, at, 4096)) << c.what << " at " << at;
        }
        EXPECT_EQ(oneentry::ReadAt(first, expected, size - 4096, 4096), c.endIntact) << c.what;
        EntryReader *second = OpenEntryReader(archive, 0, nullptr, &noMemory);
        ShareRestartPoints(second, points);
        EXPECT_EQ(oneentry::ReadAt(second, expected, size - 8192, 8192), c.endIntact) << c.what;
        if (c.method == 8) {
            EXPECT_GE(RestartPointCount(points), 4u) << c.what;
        }
        CloseEntryReader(first);
        CloseEntryReader(second);
        ReleaseRestartPoints(points);
        zip_discard(archive);
        EXPECT_EQ(testhost::LiveBlocks(), 0) << c.what;
    }
    EXPECT_EQ(RestartPointsMemory(), 0u);
}

TEST(RestartPoints, KeepWithinASixteenthOfTheEntryAndTheProcessCap) {
    const uint64_t point = sizeof(RestartPoint);
    EXPECT_EQ(CreateRestartPoints(16 * point - 1), nullptr);
    const std::vector<uint8_t> window(kInflateWindowSize);
    auto fill = [&](RestartPoints *set, uint64_t size, size_t most) {
        for (uint64_t at = 0; at < size && RestartPointCount(set) < most; at += 65536) {
            AddRestartPoint(set, at, at * 3, 0, window.data());
        }
        EXPECT_LE(RestartPointCount(set) * point, size / 16);
        EXPECT_LE(RestartPointsMemory(), kRestartPointsCap);
    };
    // Two entries of 256 MiB and one of 1 GiB: the third takes what the
    // process cap leaves, the least recently used set's points first.
    RestartPoints *x = CreateRestartPoints(256u << 20), *y = CreateRestartPoints(256u << 20);
    RestartPoints *z = CreateRestartPoints(uint64_t{1} << 30);
    fill(x, 256u << 20, SIZE_MAX);
    fill(y, 256u << 20, SIZE_MAX);
    const size_t full = RestartPointCount(x);
    EXPECT_EQ(RestartPointCount(y), full);
    ASSERT_NE(RestartPointBefore(x, 1u << 20), nullptr);
    EXPECT_EQ(RestartPointBefore(x, 1u << 20)->bit, 3 * RestartPointBefore(x, 1u << 20)->output);
    fill(z, uint64_t{1} << 30, kRestartPointsCap / point - full);
    EXPECT_EQ(RestartPointCount(y), 0u);
    EXPECT_EQ(RestartPointCount(x), full);
    fill(z, uint64_t{1} << 30, SIZE_MAX);
    EXPECT_EQ(RestartPointCount(x), 0u);
    for (RestartPoints *set : {x, y, z}) ReleaseRestartPoints(set);
    EXPECT_EQ(RestartPointsMemory(), 0u);
}

}  // namespace
