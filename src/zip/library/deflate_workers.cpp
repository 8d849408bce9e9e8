// Raw deflate of data blocks on worker threads: each block is primed with
// the window before it and ends with a sync flush, the last with the end
// of the stream, so that the blocks joined in order are one deflate stream.
#include "library/deflate_workers.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "host.h"

namespace {

// Blocks in flight per thread: enough to keep a thread busy while the
// calling thread hands the finished ones to libzip.
constexpr unsigned kBlocksPerThread = 4;
// Bytes given to zlib at a time, so that a parking thread stops soon.
constexpr uint32_t kSlice = 16 * 1024;
// zlib's settings as libzip uses them: raw deflate, largest window, most
// memory.
constexpr int kWindowBits = -15;
constexpr int kMemLevel = 9;

// Room for the compressed form of a full block: zlib's bound for any
// settings, plus a sync flush.
constexpr uint32_t kOutputCapacity = kDeflateBlock + ((kDeflateBlock + 7) >> 3) + ((kDeflateBlock + 63) >> 6) + 64;

// zlib's memory comes from the host; zlib allocates only in deflateInit2,
// which runs on the calling thread.
voidpf AllocZlib(voidpf, uInt items, uInt size) {
    return host::AllocMemory(static_cast<size_t>(items) * size, false, "pzl");
}
void FreeZlib(voidpf, voidpf memory) { host::FreeMemory(memory); }

// Allocates the block's buffers when it is first filled; leaves input NULL
// when memory is short.
void EquipBlock(DeflateBlock *block) {
    block->input = static_cast<unsigned char *>(host::AllocMemory(kDeflateWindow + kDeflateBlock, false, "pzi"));
    block->output = static_cast<unsigned char *>(host::AllocMemory(kOutputCapacity, false, "pzo"));
    block->capacity = kOutputCapacity;
    if (block->input != nullptr && block->output != nullptr) return;
    if (block->input != nullptr) host::FreeMemory(block->input);
    if (block->output != nullptr) host::FreeMemory(block->output);
    block->input = nullptr;
    block->output = nullptr;
}

// Sets up a thread's zlib stream on the calling thread, once; false when
// memory is short (a stream without state then fails every block).
bool PrepareStream(z_stream *stream) {
    if (stream->state != nullptr) return true;
    stream->zalloc = AllocZlib;
    stream->zfree = FreeZlib;
    return deflateInit2(stream, Z_BEST_COMPRESSION, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) == Z_OK;
}

// Takes the block's CRC and sets the stream up for it: the block's level,
// primed with its window. False on a zlib failure.
bool BeginBlock(z_stream *stream, DeflateBlock *block) {
    unsigned char *data = BlockData(block);
    block->crc = static_cast<uint32_t>(crc32(0, data, block->dataLength));
    if (deflateReset(stream) != Z_OK || deflateParams(stream, block->level, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    if (block->windowLength != 0 &&
        deflateSetDictionary(stream, data - block->windowLength, block->windowLength) != Z_OK)
        return false;
    stream->next_out = block->output;
    stream->avail_out = block->capacity;
    return true;
}

// Gives zlib the next slice of the block's data (*consumed bytes are in
// already), flushing after the last one. Running while data is left, else
// Done or Failed.
BlockState DeflateSlice(z_stream *stream, DeflateBlock *block, uint32_t *consumed) {
    const uint32_t slice = std::min(kSlice, block->dataLength - *consumed);
    const bool final = *consumed + slice == block->dataLength;
    stream->next_in = BlockData(block) + *consumed;
    stream->avail_in = slice;
    const int flush = !final ? Z_NO_FLUSH : block->last ? Z_FINISH : Z_SYNC_FLUSH;
    const int result = deflate(stream, flush);
    // The output has room for all of it: anything left over is a fault.
    if (result == Z_STREAM_ERROR || stream->avail_in != 0 || stream->avail_out == 0) return BlockState::Failed;
    *consumed += slice;
    if (!final) return BlockState::Running;
    if (block->last && result != Z_STREAM_END) return BlockState::Failed;
    block->outputLength = block->capacity - stream->avail_out;
    return BlockState::Done;
}

}  // namespace

bool DeflateWorkers::Start(unsigned threads) {
    threads_ = threads;
    count_ = threads * kBlocksPerThread;
    blocks_ = static_cast<DeflateBlock *>(host::AllocMemory(sizeof(DeflateBlock) * count_, true, "pzb"));
    workers_ = static_cast<Worker *>(host::AllocMemory(sizeof(Worker) * threads_, true, "pzw"));
    if (workers_ != nullptr)
        for (unsigned i = 0; i < threads_; i++) new (&workers_[i]) Worker{};
    if (blocks_ == nullptr || workers_ == nullptr) {
        FreeAll();
        return false;
    }
    return true;
}

void DeflateWorkers::Stop() {
    Park();
    FreeAll();
}

// Frees what Start allocated, whatever part of it exists.
void DeflateWorkers::FreeAll() {
    if (workers_ != nullptr) {
        for (unsigned i = 0; i < threads_; i++) {
            // A stream that deflateInit2 did not make has no state.
            if (workers_[i].stream.state != nullptr) deflateEnd(&workers_[i].stream);
            workers_[i].~Worker();
        }
        host::FreeMemory(workers_);
        workers_ = nullptr;
    }
    if (blocks_ != nullptr) {
        for (unsigned i = 0; i < count_; i++) {
            if (blocks_[i].input != nullptr) host::FreeMemory(blocks_[i].input);
            if (blocks_[i].output != nullptr) host::FreeMemory(blocks_[i].output);
        }
        host::FreeMemory(blocks_);
        blocks_ = nullptr;
    }
}

void DeflateWorkers::Park() {
    if (running_ == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parking_ = true;
    }
    work_.notify_all();
    for (unsigned i = 0; i < threads_; i++)
        if (workers_[i].thread.joinable()) workers_[i].thread.join();
    running_ = 0;
    parking_ = false;
}

DeflateBlock *DeflateWorkers::NextFree() {
    if (submitted_ - released_ >= count_) return nullptr;
    DeflateBlock *block = &blocks_[submitted_ % count_];
    if (block->input == nullptr) EquipBlock(block);
    return block;
}

DeflateBlock *DeflateWorkers::Previous() {
    if (submitted_ == 0) return nullptr;
    return &blocks_[(submitted_ - 1) % count_];
}

void DeflateWorkers::Submit(bool failed) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_[submitted_ % count_].state = failed ? BlockState::Failed : BlockState::Queued;
        submitted_++;
    }
    if (running_ < threads_) StartThreads();
    work_.notify_one();
}

DeflateBlock *DeflateWorkers::Oldest() {
    if (released_ == submitted_) return nullptr;
    return &blocks_[released_ % count_];
}

bool DeflateWorkers::WaitOldest() {
    DeflateBlock *block = Oldest();
    if (running_ == 0) StartThreads();
    std::unique_lock<std::mutex> lock(mutex_);
    while (block->state == BlockState::Queued || block->state == BlockState::Running) {
        if (running_ == 0) {
            lock.unlock();
            RunWithoutThreads();
            lock.lock();
        } else {
            done_.wait(lock);
        }
    }
    return block->state == BlockState::Done;
}

void DeflateWorkers::ReleaseOldest() {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_[released_ % count_].state = BlockState::Free;
    released_++;
}

// Starts threads while fewer run than blocks are in flight, and those
// that were parked holding a block. When the system refuses one, none run
// for the rest of the close: the calling thread then compresses while it
// waits.
void DeflateWorkers::StartThreads() {
    if (refused_) return;
    const uint64_t inFlight = submitted_ - released_;
    for (unsigned i = 0; i < threads_; i++) {
        Worker *worker = &workers_[i];
        if (worker->thread.joinable() || (running_ >= inFlight && worker->current == nullptr)) continue;
        if (!PrepareStream(&worker->stream)) continue;
        try {
            worker->thread = std::thread(&DeflateWorkers::Run, this, worker);
        } catch (const std::system_error &) {
            refused_ = true;
            Park();
            return;
        }
        running_++;
    }
}

// A thread's loop: compresses queued blocks until parked.
void DeflateWorkers::Run(Worker *worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!parking_) {
        if (worker->current == nullptr && !TakeBlock(worker)) {
            work_.wait(lock);
            continue;
        }
        lock.unlock();
        const bool finished = CompressCurrent(worker);
        lock.lock();
        if (finished) {
            worker->current = nullptr;
            done_.notify_all();
        }
    }
}

// Gives the worker the oldest queued block; false when none waits. Called
// with the mutex held (or with no thread running).
bool DeflateWorkers::TakeBlock(Worker *worker) {
    while (started_ < submitted_) {
        DeflateBlock *block = &blocks_[started_++ % count_];
        if (block->state != BlockState::Queued) continue;
        block->state = BlockState::Running;
        worker->current = block;
        worker->consumed = 0;
        worker->begun = false;
        return true;
    }
    return false;
}

// The calling thread's stand-in when no thread could be started: finishes
// every block in flight.
void DeflateWorkers::RunWithoutThreads() {
    PrepareStream(&workers_[0].stream);
    for (unsigned i = 0; i < threads_; i++) {
        Worker *worker = &workers_[i];
        while (worker->current != nullptr || (i == 0 && TakeBlock(worker))) {
            if (CompressCurrent(worker)) worker->current = nullptr;
        }
    }
}

// Compresses the worker's block slice by slice until it is finished
// (state Done or Failed: true) or parking begins (state still Running:
// false). Once finished, the block belongs to the calling thread again.
bool DeflateWorkers::CompressCurrent(Worker *worker) {
    DeflateBlock *block = worker->current;
    BlockState outcome = BlockState::Running;
    if (!worker->begun) {
        worker->begun = true;
        if (!BeginBlock(&worker->stream, block)) outcome = BlockState::Failed;
    }
    while (outcome == BlockState::Running && !parking_) outcome = DeflateSlice(&worker->stream, block, &worker->consumed);
    if (outcome == BlockState::Running) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    block->state = outcome;
    return true;
}
