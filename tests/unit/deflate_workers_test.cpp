// The deflate worker pool: random blocks through 1 to 8 threads, with and
// without a pause between submit and wait, and with threads refused; the
// joined output must inflate to the input and be the same at every count.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "library/deflate_workers.h"
#include "test_host.h"

namespace {

// Text and random bytes in random runs, size bytes in all.
std::string RandomData(unsigned seed, size_t size) {
    std::mt19937 random(seed);
    std::string data;
    while (data.size() < size) {
        const size_t run = random() % 50000;
        const bool text = random() % 3 != 0;
        for (size_t i = 0; i < run && data.size() < size; i++)
            data.push_back(text ? static_cast<char>('a' + random() % 6) : static_cast<char>(random()));
    }
    return data;
}

// Threads of this process.
int ThreadsNow() {
    DIR *tasks = opendir("/proc/self/task");
    int count = 0;
    while (dirent *task = readdir(tasks)) count += task->d_name[0] != '.';
    closedir(tasks);
    return count;
}

struct PoolRun {
    std::string joined;  // the blocks' outputs in order
    int extraThreads;    // most threads seen beyond those before it
    int liveBlocks;      // host memory blocks held after the first submit
};

// Feeds data through a pool of threads in blocks as the close does: each
// primed with the window before it, the last ending the stream; pausing
// after every submit when asked.
PoolRun Compress(const std::string &data, unsigned threads, int level, bool pause) {
    const int before = ThreadsNow();
    PoolRun run{"", 0, 0};
    DeflateWorkers workers;
    EXPECT_TRUE(workers.Start(threads));
    size_t fed = 0;
    bool ended = false;
    while (!ended) {
        for (DeflateBlock *block; fed <= data.size() && (block = workers.NextFree()) != nullptr;) {
            const DeflateBlock *previous = workers.Previous();
            block->windowLength = fed == 0 ? 0 : kDeflateWindow;
            if (fed != 0) std::memcpy(block->input, BlockData(previous) + kDeflateBlock - kDeflateWindow, kDeflateWindow);
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

// The raw deflate stream inflated; empty when it is not one whole stream.
std::string Inflate(const std::string &joined) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    std::string out;
    char buffer[65536];
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(joined.data()));
    stream.avail_in = static_cast<uInt>(joined.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && stream.avail_in == 0 ? out : "!";
}

TEST(DeflateWorkers, RandomBlocksJoinIntoTheSameStreamAtEveryThreadCount) {
    for (unsigned seed = 1; seed <= 6; seed++) {
        const std::string data = RandomData(seed, seed * 97 % 7 * kDeflateBlock + seed * 7919 % kDeflateBlock);
        const int level = static_cast<int>(seed % 9 + 1);
        const std::string one = Compress(data, 1, level, false).joined;
        EXPECT_TRUE(Inflate(one) == data) << "seed " << seed;
        for (unsigned threads : {2u, 8u})
            EXPECT_TRUE(Compress(data, threads, level, seed % 2 == 0).joined == one) << "seed " << seed << ", threads " << threads;
    }
}

TEST(DeflateWorkers, LittleDataStartsOneThreadAndOneBlock) {
    std::thread([] {}).join();  // ThreadSanitizer starts a thread of its own with the first one
    const std::string data = "ten bytes!";
    const PoolRun eight = Compress(data, 8, 9, true);
    EXPECT_LE(eight.extraThreads, 1);
    EXPECT_EQ(eight.liveBlocks, Compress(data, 1, 9, true).liveBlocks);
    EXPECT_EQ(Inflate(eight.joined), data);
    EXPECT_LE(Compress(RandomData(9, 3 * kDeflateBlock - 1), 8, 6, true).extraThreads, 3);
}

TEST(DeflateWorkers, RefusedThreadsLeaveTheWorkToTheCallingThread) {
    const std::string data = RandomData(3, 5 * kDeflateBlock + 17);
    const std::string expected = Compress(data, 1, 6, false).joined;
    const pid_t child = fork();
    if (child == 0) {
        // Another user (root's threads are never refused) allowed no process.
        const rlimit none{0, 0};
        if ((getuid() == 0 && setresuid(64999, 64999, 64999) != 0) || setrlimit(RLIMIT_NPROC, &none) != 0) _exit(2);
        const PoolRun run = Compress(data, 4, 6, true);
        _exit(run.extraThreads == 0 && run.joined == expected ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot limit the threads of a child process";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
