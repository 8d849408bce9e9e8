// Raw deflate of data blocks on worker threads, for the archive close.
// The calling thread fills blocks in order, the workers compress them, and
// the calling thread takes them back in the same order. Workers touch only
// the blocks and their own zlib streams, never a host service.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <zlib.h>

// Bytes of data in one block, and of the window that primes the next one.
constexpr uint32_t kDeflateBlock = 128 * 1024;
constexpr uint32_t kDeflateWindow = 32 * 1024;

// What has become of a block.
enum class BlockState : uint8_t { Free, Queued, Running, Done, Failed };

// One block of one entry's data and its compressed form. The calling
// thread owns it while Free, Done or Failed, a worker while Queued or
// Running.
struct DeflateBlock {
    unsigned char *input;   // kDeflateWindow bytes of window room, then the data
    unsigned char *output;  // the raw deflate bytes
    uint32_t capacity;      // room at output
    uint32_t windowLength;  // bytes of window, ending where the data starts
    uint32_t dataLength;    // bytes of data
    uint32_t outputLength;  // compressed bytes made
    uint32_t crc;           // CRC-32 of the data
    uint32_t owner;         // which entry the block belongs to (the caller's number)
    int level;              // zlib level 1-9
    bool last;              // ends the entry's stream (Z_FINISH), else Z_SYNC_FLUSH
    BlockState state;
};

// The data of a block, after its window room.
inline unsigned char *BlockData(const DeflateBlock *block) { return block->input + kDeflateWindow; }

// A ring of blocks and the threads that compress them. Every method is
// called on the calling thread only. A block's buffers are allocated when
// it is first filled, and a thread (with its zlib stream) is started only
// while fewer run than blocks are in flight, so a close of little data
// sets up little. Threads are joined by Park (before script code runs) and
// by Stop.
class DeflateWorkers {
public:
    // Allocates the ring's records for up to threads threads in host
    // memory; false when memory is short (nothing is kept then).
    bool Start(unsigned threads);
    // Joins the threads and frees everything.
    void Stop();
    // Joins the threads; unfinished blocks are resumed when work is next
    // waited for.
    void Park();

    // The block to fill next, or NULL while every block is in use. Its
    // input is NULL when memory for its buffers is short.
    DeflateBlock *NextFree();
    // The block filled before NextFree()'s (its window source); NULL if none.
    DeflateBlock *Previous();
    // Queues NextFree()'s block; with failed, it is queued as failed.
    void Submit(bool failed);
    // The oldest block not yet released, or NULL when none is queued.
    DeflateBlock *Oldest();
    // Waits until the oldest block is compressed; false when it failed.
    bool WaitOldest();
    // Hands the oldest block back for filling.
    void ReleaseOldest();

private:
    // One thread's zlib stream and the block it is working on.
    struct Worker {
        z_stream stream;        // raw deflate, reset for every block
        DeflateBlock *current;  // the block it compresses, NULL when idle
        uint32_t consumed;      // bytes of current's data already given to zlib
        bool begun;             // current's stream is set up
        std::thread thread;     // the thread, when one runs
    };

    void Run(Worker *worker);
    bool TakeBlock(Worker *worker);
    bool CompressCurrent(Worker *worker);
    void StartThreads();
    void RunWithoutThreads();
    void FreeAll();

    DeflateBlock *blocks_ = nullptr;  // the ring
    unsigned count_ = 0;              // blocks in the ring
    Worker *workers_ = nullptr;       // one per thread
    unsigned threads_ = 0;            // workers
    unsigned running_ = 0;            // threads started and not yet joined
    bool refused_ = false;            // the system refused a thread: none is started again
    uint64_t submitted_ = 0;          // blocks queued so far
    uint64_t started_ = 0;            // blocks a worker has taken
    uint64_t released_ = 0;           // blocks handed back
    std::mutex mutex_;                // guards the states and counters
    std::condition_variable work_;    // a block was queued, or parking began
    std::condition_variable done_;    // a block was finished
    std::atomic<bool> parking_{false};  // threads are to stop at the next slice
};
