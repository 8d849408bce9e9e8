// The parallel close: its worker pool (random blocks at 1 to 8 threads,
// paused, refused threads, little data) and its entries' headers against
// plain libzip's, and the archive at one thread and at every core.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "library/deflate_workers.h"
#include "library/host_file_stream.h"
#include "one_entry_archive.h"
#include "test_host.h"

namespace {

// Text of a few letters (text) or random bytes, size bytes in all.
std::string RandomData(unsigned seed, size_t size, bool text) {
    std::mt19937 random(seed);
    std::string data;
    while (data.size() < size) data.push_back(text ? "abcdefgh \n"[random() % 10] : static_cast<char>(random()));
    return data;
}

// The threads this process has now.
int ThreadsNow() { return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {})); }

struct PoolRun {
    std::string joined;  // the blocks' outputs in order
    int extraThreads;    // most threads seen beyond those before it
    int liveBlocks;      // host memory blocks held after the first submit
};

// Feeds data through a pool in blocks as the close does (each primed with
// the window before it), pausing after every submit when asked.
PoolRun Compress(const std::string &data, unsigned threads, int level, bool pause) {
    const int before = ThreadsNow();
    PoolRun run{"", 0, 0};
    DeflateWorkers workers;
    EXPECT_TRUE(workers.Start(threads));
    for (size_t fed = 0, ended = false; !ended;) {
        for (DeflateBlock *block; fed <= data.size() && (block = workers.NextFree()) != nullptr;) {
            block->windowLength = fed == 0 ? 0 : kDeflateWindow;
            if (fed != 0) std::memcpy(block->input, BlockData(workers.Previous()) + kDeflateBlock - kDeflateWindow, kDeflateWindow);
            block->dataLength = static_cast<uint32_t>(std::min<size_t>(kDeflateBlock, data.size() - fed));
            std::memcpy(BlockData(block), data.data() + fed, block->dataLength);
            block->last = block->dataLength < kDeflateBlock;
            block->level = level;
            fed = block->last ? data.size() + 1 : fed + kDeflateBlock;
            workers.Submit(false);
            if (run.liveBlocks == 0) run.liveBlocks = testhost::LiveBlocks();
            if (pause) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            run.extraThreads = std::max(run.extraThreads, ThreadsNow() - before);
        }
        EXPECT_TRUE(workers.WaitOldest());
        const DeflateBlock *block = workers.Oldest();
        run.joined.append(reinterpret_cast<const char *>(block->output), block->outputLength);
        ended = block->last;
        workers.ReleaseOldest();
    }
    workers.Stop();
    EXPECT_EQ(testhost::LiveBlocks(), 0);
    return run;
}

// Whether the joined stream, as an entry's deflated data, reads back as
// data through the module's entry reader (which checks its end and CRC).
bool InflatesTo(const std::string &joined, const std::string &data) {
    const auto crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
    std::string out;
    return oneentry::Read(oneentry::Archive(joined.data(), joined.size(), static_cast<uint32_t>(data.size()), crc),
                          data.size(), 65536, &out) && out == data;
}

TEST(DeflateWorkers, RandomBlocksJoinIntoTheSameStreamAtEveryThreadCount) {
    for (unsigned seed = 1; seed <= 6; seed++) {
        const std::string data = RandomData(seed, seed * 97 % 7 * kDeflateBlock + seed * 7919 % kDeflateBlock, seed % 3);
        const std::string one = Compress(data, 1, static_cast<int>(seed % 9 + 1), false).joined;
        EXPECT_TRUE(InflatesTo(one, data)) << "seed " << seed;
        for (unsigned threads : {2u, 8u})
            EXPECT_TRUE(Compress(data, threads, seed % 9 + 1, seed % 2).joined == one) << seed << ", " << threads;
    }
}

TEST(DeflateWorkers, TenBytesStartOneThreadAndOneBlock) {
    std::thread([] {}).join();  // ThreadSanitizer starts a thread of its own with the first one
    const PoolRun eight = Compress("ten bytes!", 8, 9, true);
    EXPECT_LE(eight.extraThreads, 1);
    EXPECT_EQ(eight.liveBlocks, Compress("ten bytes!", 1, 9, true).liveBlocks);
    EXPECT_TRUE(InflatesTo(eight.joined, "ten bytes!"));
}

TEST(DeflateWorkers, RefusedThreadsLeaveTheWorkToTheCallingThread) {
    const std::string data = RandomData(3, 5 * kDeflateBlock + 17, true);
    const std::string expected = Compress(data, 1, 6, false).joined;
    const pid_t child = fork();
    if (child == 0) {
        // Another user (root's threads are never refused) allowed no process,
        // then root again for the exit, which writes coverage counts.
        const uid_t user = getuid();
        rlimit limit{};
        getrlimit(RLIMIT_NPROC, &limit);
        const rlimit none{0, limit.rlim_max};
        if ((user == 0 && setresuid(64999, 64999, 0) != 0) || setrlimit(RLIMIT_NPROC, &none) != 0) _exit(2);
        const PoolRun run = Compress(data, 4, 6, true);
        if (setresuid(user, user, user) != 0 || setrlimit(RLIMIT_NPROC, &limit) != 0) _exit(3);
        std::exit(run.extraThreads == 0 && run.joined == expected ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot limit the threads of a child process";
    EXPECT_EQ(status, 0);
}

// Adds around libzip's 8 KiB probe, store-or-deflate, the level bits and
// the encryption headers: size, text, method (level), encryption.
const struct Add { size_t size; bool text; int32_t method; uint32_t level; uint16_t encryption; } kAdds[] = {
    {0, true, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},          {10, true, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},
    {5000, false, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},      {5000, true, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},
    {8100, false, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},      {8193, false, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},
    {8170, false, ZIP_CM_DEFAULT, 0, ZIP_EM_AES_256},   {8185, false, ZIP_CM_DEFAULT, 0, ZIP_EM_TRAD_PKWARE},
    {5000, false, ZIP_CM_DEFLATE, 0, ZIP_EM_NONE},      {300000, true, ZIP_CM_DEFLATE, 1, ZIP_EM_NONE},
    {300000, true, ZIP_CM_DEFLATE, 5, ZIP_EM_AES_128},  {300000, true, ZIP_CM_DEFAULT, 0, ZIP_EM_NONE},
};

// Writes kAdds (encrypted only when encrypt) with the parallel close or
// with plain libzip; the archive's bytes.
std::string Write(bool ours, bool encrypt) {
    const std::string dir = ::testing::TempDir(), path = dir + "parallel_close.zip";
    zip_t *archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    std::vector<std::string> data;
    data.reserve(std::size(kAdds));  // libzip keeps pointers into each
    for (const Add &add : kAdds) {
        data.push_back(RandomData(static_cast<unsigned>(data.size()), add.size, add.text));
        const std::string name = "f" + std::to_string(data.size());
        std::ofstream(dir + name, std::ios::binary) << data.back();
        zip_source_t *source = ours ? nullptr : zip_source_buffer(archive, data.back().data(), data.back().size(), 0);
        uint32_t permissions = 0;
        HostFileStream *record = nullptr;
        if (ours) MakeStreamSource(archive, (dir + name).c_str(), &source, &permissions, &record);
        const auto index = static_cast<zip_uint64_t>(zip_file_add(archive, name.c_str(), source, 0));
        if (ours) RegisterPendingFile(record, archive, index);
        zip_file_set_mtime(archive, index, 1700000000, 0);
        zip_set_file_compression(archive, index, add.method, add.level);
        if (ours) NotePendingCompression(archive, index, add.method, static_cast<int>(add.level));
        if (!encrypt || add.encryption == ZIP_EM_NONE) continue;
        zip_file_set_encryption(archive, index, add.encryption, "secret");
        if (ours) NotePendingEncryption(archive, index, add.encryption, "secret");
    }
    EXPECT_TRUE(ours ? CloseWithParallelDeflate(archive, nullptr) : zip_close(archive) == 0);
    for (size_t i = 1; i <= data.size(); i++) std::remove((dir + "f" + std::to_string(i)).c_str());
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The little-endian field of bytes bytes at offset at of zip.
uint32_t Get(const std::string &zip, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; i--) value = value << 8 | static_cast<unsigned char>(zip.at(at + i));
    return value;
}

// Each entry's local and central headers with the compressed sizes and
// offsets zeroed, one entry a line.
std::vector<std::string> Headers(const std::string &zip) {
    std::vector<std::string> headers;
    const size_t end = zip.rfind(std::string("PK\5\6", 4));
    for (size_t at = Get(zip, end + 16, 4); at < end;) {
        std::string central = zip.substr(at, 46 + Get(zip, at + 28, 2) + Get(zip, at + 30, 2) + Get(zip, at + 32, 2));
        const size_t local = Get(zip, at + 42, 4);
        std::string head = zip.substr(local, 30 + Get(zip, local + 26, 2) + Get(zip, local + 28, 2));
        head.replace(18, 4, 4, '\0');
        central.replace(20, 4, 4, '\0').replace(42, 4, 4, '\0');
        headers.push_back(head + central);
        at += central.size();
    }
    return headers;
}

TEST(ParallelClose, HeaderFieldsAreThosePlainLibzipWritesAndOneThreadWritesTheSameBytesAsEveryCore) {
    const std::vector<std::string> ours = Headers(Write(true, true)), plain = Headers(Write(false, true));
    ASSERT_EQ(ours.size(), std::size(kAdds));
    for (size_t i = 0; i < ours.size(); i++) EXPECT_TRUE(ours[i] == plain[i]) << "entry f" << i + 1;
    EXPECT_EQ(testhost::LiveBlocks(), 0);
    setenv("ZIP_THREADS", "1", 1);
    const std::string one = Write(true, false);
    unsetenv("ZIP_THREADS");
    EXPECT_TRUE(one == Write(true, false));
}

}  // namespace
