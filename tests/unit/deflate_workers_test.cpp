// Blocks compressed on worker threads, each primed with the window before
// it, join into one raw deflate stream that inflates to the data, with the
// CRC of the whole; also when the threads are parked halfway.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "library/deflate_workers.h"
#include "test_host.h"

namespace {

// Text that repeats across block edges, so that windows matter.
std::string MakeData(size_t length) {
    std::string data;
    for (unsigned i = 0; data.size() < length; i++) data += "line " + std::to_string(i % 977) + " of the data\n";
    data.resize(length);
    return data;
}

// Inflates a raw deflate stream; empty when it is broken or does not end.
std::string Inflate(const std::string &compressed) {
    z_stream stream{};
    std::string out(64 << 20, '\0');
    if (inflateInit2(&stream, -15) != Z_OK) return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

// Feeds data through the workers as the close does and joins the output;
// *crc gets the combined CRC.
std::string CompressInBlocks(DeflateWorkers *workers, const std::string &data, int level, uint32_t *crc) {
    std::string out;
    size_t fed = 0;
    bool allFed = false, ended = false, parked = false;
    *crc = 0;
    while (!ended) {
        DeflateBlock *block = nullptr;
        while (!allFed && (block = workers->NextFree()) != nullptr) {
            const size_t length = std::min<size_t>(kDeflateBlock, data.size() - fed);
            block->windowLength = fed == 0 ? 0 : kDeflateWindow;
            std::memcpy(BlockData(block) - block->windowLength, data.data() + fed - block->windowLength,
                        block->windowLength + length);
            block->dataLength = static_cast<uint32_t>(length);
            block->level = level;
            block->last = length < kDeflateBlock;
            workers->Submit(false);
            fed += length;
            allFed = block->last;
        }
        if (!parked && fed > data.size() / 2) {
            workers->Park();
            parked = true;
        }
        EXPECT_TRUE(workers->WaitOldest());
        block = workers->Oldest();
        out.append(reinterpret_cast<char *>(block->output), block->outputLength);
        *crc = static_cast<uint32_t>(crc32_combine(*crc, block->crc, block->dataLength));
        ended = block->last;
        workers->ReleaseOldest();
    }
    return out;
}

}  // namespace

TEST(DeflateWorkers, BlocksJoinIntoOneStream) {
    // threads, data length, level: one short block, an empty last block
    // after whole ones, many blocks at the fast and the best level.
    const struct { unsigned threads; size_t length; int level; } cases[] = {
        {1, 1000, 9}, {2, 2 * kDeflateBlock, 6}, {3, 9 * kDeflateBlock + 12345, 1}, {2, 5 * kDeflateBlock + 1, 9},
    };
    for (const auto &c : cases) {
        const std::string data = MakeData(c.length);
        DeflateWorkers workers;
        ASSERT_TRUE(workers.Start(c.threads));
        uint32_t crc = 0;
        const std::string compressed = CompressInBlocks(&workers, data, c.level, &crc);
        workers.Stop();
        EXPECT_TRUE(Inflate(compressed) == data) << c.length;
        EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
        EXPECT_EQ(testhost::LiveBlocks(), 0);
    }
}
