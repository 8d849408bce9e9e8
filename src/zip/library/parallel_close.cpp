// Writing an archive with the deflated data of zip.AddFile's files made on
// worker threads. libzip writes entries in index order and asks each
// source for its data in turn; the calling thread reads the files ahead of
// it (through the host) into blocks for the workers, and hands libzip the
// compressed blocks in the order they were read.
#include "library/parallel_close.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <unistd.h>
#include <zlib.h>

#include "core/aes_code.h"
#include "host.h"
#include "library/deflate_workers.h"
#include "library/host_file_stream.h"
#include "library/progress.h"

struct ParallelClose;

// One pending file while a close compresses it.
struct DeflateEntry {
    HostFileStream *source;   // its source; NULL once libzip has freed it
    ParallelClose *close;     // the close it belongs to
    uint32_t ordinal;         // its place among the close's files
    int level;                // zlib level 1-9
    uint32_t storeBelow;      // stored when the compressed data is shorter (0: never)
    bool mayStore;            // libzip's default method: stored when it does not shrink
    bool fed;                 // all of its data has gone into blocks
    bool measured;            // its length before reading was looked for
    bool sizeKnown;           // ... and found: size holds it
    bool stored;              // its data is handed out as it is
    bool ended;               // libzip has read all of it
    uint32_t blocksHanded;    // blocks handed to libzip
    uint64_t size;            // its length, when known before reading
    uint64_t fedSize;         // bytes read into blocks
    uint64_t handed;          // bytes of data handed to libzip
    uint64_t compressedSize;  // bytes handed to libzip
    uint32_t crc;             // CRC-32 of the data handed out
    double progressStart;     // the close's progress (0 to 1) as libzip begins to write it
};

// One close that compresses in parallel.
struct ParallelClose {
    DeflateWorkers workers;   // the blocks and threads
    DeflateEntry *entries;    // the files, in index order
    uint32_t count;           // how many
    uint32_t feeding;         // the file being read into blocks
    uint32_t feedingBlocks;   // blocks read of it so far
    uint32_t offset;          // bytes of the oldest block handed to libzip
    CloseProgress *progress;  // where progress goes, or NULL
    double progressShare;     // the part of the close's progress one entry takes
    ParallelClose *outer;     // the close whose progress callback runs this one, or NULL
};

namespace {

// libzip's read buffer: libzip stores data of the default method that came
// in its first read when the compressed form is no shorter and ends within
// that read (after the encryption header that comes first).
constexpr uint32_t kLibzipBuffer = 8192;
// The general-purpose bits libzip lets a compressing source set, and the
// version a deflated entry needs.
constexpr zip_uint16_t kSourceFlagsMask = 0x0836;
constexpr zip_uint8_t kDeflateVersion = 20;
// The level libzip uses for levels outside 1-9.
constexpr int kDefaultLevel = 9;
// The header of traditional PKWARE encryption.
constexpr uint32_t kTraditionalHeaderSize = 12;

PendingFile *gFirst;         // the pending files, oldest first
PendingFile *gLast;          // the newest
ParallelClose *gInnermost;   // the closes in progress, innermost first

// Bytes of the header an encryption method puts before the data.
uint32_t EncryptionHeader(uint16_t method) {
    if (method == ZIP_EM_TRAD_PKWARE) return kTraditionalHeaderSize;
    return static_cast<uint32_t>(AesHeaderSize(method));
}

// Whether libzip deflates data of the method.
bool IsDeflated(int32_t method) { return method == ZIP_CM_DEFAULT || method == ZIP_CM_DEFLATE; }

// The general-purpose bits libzip's deflate sets for the level.
zip_uint16_t LevelFlags(int level) {
    if (level < 3) return 2 << 1;
    if (level > 7) return 1 << 1;
    return 0;
}

// Worker threads: one per online CPU, at most ZIP_THREADS when that is a
// positive number.
unsigned ThreadCount() {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    unsigned threads = online > 0 ? static_cast<unsigned>(online) : 1;
    if (const char *cap = std::getenv("ZIP_THREADS")) {
        char *end = nullptr;
        const long wanted = std::strtol(cap, &end, 10);
        if (end != cap && *end == '\0' && wanted > 0 && static_cast<unsigned long>(wanted) < threads)
            threads = static_cast<unsigned>(wanted);
    }
    return threads;
}

// The pending file of entry index of archive, or NULL.
PendingFile *FindPendingFile(zip_t *archive, zip_uint64_t index) {
    for (PendingFile *file = gLast; file != nullptr; file = file->previous)
        if (file->archive == archive && file->index == index) return file;
    return nullptr;
}

// How many of the archive's pending files libzip would deflate.
uint32_t CountDeflated(zip_t *archive) {
    uint32_t count = 0;
    for (PendingFile *file = gFirst; file != nullptr; file = file->next)
        if (file->archive == archive && IsDeflated(file->method)) count++;
    return count;
}

// The source record that holds the pending file.
HostFileStream *SourceOf(PendingFile *file) {
    return reinterpret_cast<HostFileStream *>(reinterpret_cast<char *>(file) - offsetof(HostFileStream, pending));
}

// Fills the close's entries from the archive's deflated pending files, in
// index order: libzip reads the sources in that order, and the order of the
// adds differs from it once ZIP_FL_OVERWRITE replaced an earlier entry.
void ListEntries(ParallelClose *close, zip_t *archive) {
    uint32_t listed = 0;
    for (PendingFile *file = gFirst; file != nullptr; file = file->next)
        if (file->archive == archive && IsDeflated(file->method)) close->entries[listed++].source = SourceOf(file);
    std::sort(close->entries, close->entries + listed, [](const DeflateEntry &a, const DeflateEntry &b) {
        return a.source->pending.index < b.source->pending.index;
    });
    for (uint32_t ordinal = 0; ordinal < listed; ordinal++) {
        DeflateEntry *entry = &close->entries[ordinal];
        PendingFile *file = &entry->source->pending;
        entry->close = close;
        entry->ordinal = ordinal;
        entry->level = file->level >= 1 && file->level <= 9 ? static_cast<int>(file->level) : kDefaultLevel;
        entry->mayStore = file->method == ZIP_CM_DEFAULT;
        entry->storeBelow = kLibzipBuffer - EncryptionHeader(file->encryption);
        file->writing = entry;
    }
}

// Places the entries in the close's progress as libzip does: every entry
// it writes takes an equal part, in index order.
void PlaceProgress(ParallelClose *close, zip_t *archive) {
    const zip_int64_t total = zip_get_num_entries(archive, 0);
    uint32_t next = 0;
    uint64_t written = 0;  // entries libzip writes before index
    for (zip_int64_t index = 0; index < total; index++) {
        if (next < close->count && close->entries[next].source->pending.index == static_cast<zip_uint64_t>(index))
            close->entries[next++].progressStart = static_cast<double>(written);
        // Only deleted entries have no name.
        if (zip_get_name(archive, static_cast<zip_uint64_t>(index), 0) != nullptr) written++;
    }
    zip_error_clear(archive);
    close->progressShare = 1.0 / static_cast<double>(written);
    for (uint32_t i = 0; i < close->count; i++) close->entries[i].progressStart *= close->progressShare;
}

// Reports how much of the entry libzip has been handed.
void ReportEntryProgress(ParallelClose *close, const DeflateEntry *entry) {
    if (close->progress == nullptr || !entry->sizeKnown || entry->size == 0) return;
    const double part = std::min(1.0, static_cast<double>(entry->handed) / static_cast<double>(entry->size));
    ReportCloseProgress(close->progress, entry->progressStart + part * close->progressShare);
}

// Sets up a close of the archive's count deflated files; NULL without
// memory.
ParallelClose *BeginClose(zip_t *archive, uint32_t count, CloseProgress *progress) {
    void *memory = host::AllocMemory(sizeof(ParallelClose), true, "pcl");
    if (memory == nullptr) return nullptr;
    auto *close = new (memory) ParallelClose{};
    close->entries = static_cast<DeflateEntry *>(host::AllocMemory(sizeof(DeflateEntry) * count, true, "pce"));
    if (close->entries == nullptr || !close->workers.Start(ThreadCount())) {
        if (close->entries != nullptr) host::FreeMemory(close->entries);
        close->~ParallelClose();
        host::FreeMemory(memory);
        return nullptr;
    }
    close->count = count;
    ListEntries(close, archive);
    close->progress = progress;
    if (progress != nullptr) PlaceProgress(close, archive);
    close->outer = gInnermost;
    gInnermost = close;
    return close;
}

// Joins the threads, lets go of the files libzip did not free and frees
// the close.
void EndClose(ParallelClose *close) {
    gInnermost = close->outer;
    close->workers.Stop();
    for (uint32_t i = 0; i < close->count; i++)
        if (close->entries[i].source != nullptr) close->entries[i].source->pending.writing = nullptr;
    host::FreeMemory(close->entries);
    close->~ParallelClose();
    host::FreeMemory(close);
}

// Reads the entry's next block of data through the host. False when the
// file cannot be read or the block has no buffers: the block then ends the
// entry.
bool FillBlock(ParallelClose *close, DeflateEntry *entry, DeflateBlock *block) {
    block->owner = entry->ordinal;
    block->level = entry->level;
    block->windowLength = 0;
    block->dataLength = 0;
    block->last = true;
    if (entry->source == nullptr || block->input == nullptr) return false;
    HostFile *file = entry->source->handle;
    unsigned char *data = BlockData(block);
    if (close->feedingBlocks == 0) {
        // From the start, also when an earlier close failed halfway.
        if (host::SeekHostFile(file, 0, SEEK_FROM_START) < 0) return false;
    } else {
        // Only a full block comes before another one.
        std::memcpy(data - kDeflateWindow, BlockData(close->workers.Previous()) + kDeflateBlock - kDeflateWindow,
                    kDeflateWindow);
        block->windowLength = kDeflateWindow;
    }
    uint32_t length = 0;
    int32_t got = 0;
    while (length < kDeflateBlock && (got = host::ReadHostFile(file, data + length, kDeflateBlock - length)) > 0)
        length += static_cast<uint32_t>(got);
    if (got < 0) return false;
    block->dataLength = length;
    block->last = length < kDeflateBlock;
    entry->fedSize += length;
    return true;
}

// Reads files into every free block, in order. A block that could not be
// read is queued as failed, so that the close fails when libzip gets to it.
void Feed(ParallelClose *close) {
    while (close->feeding < close->count) {
        DeflateBlock *block = close->workers.NextFree();
        if (block == nullptr) return;
        DeflateEntry *entry = &close->entries[close->feeding];
        close->workers.Submit(!FillBlock(close, entry, block));
        close->feedingBlocks++;
        if (block->last) {
            entry->fed = true;
            close->feeding++;
            close->feedingBlocks = 0;
        }
    }
}

// Whether libzip would have stored the entry whose first block this is:
// the default method, all of the data in libzip's first read, and no gain.
bool WouldStore(const DeflateEntry *entry, const DeflateBlock *block) {
    return entry->mayStore && block->last && block->dataLength <= kLibzipBuffer &&
           block->outputLength >= block->dataLength && block->outputLength < entry->storeBelow;
}

// Counts the oldest block as handed out and frees it for reading.
void FinishBlock(ParallelClose *close, DeflateEntry *entry, DeflateBlock *block, uint32_t length) {
    entry->crc = static_cast<uint32_t>(crc32_combine(entry->crc, block->crc, block->dataLength));
    entry->handed += block->dataLength;
    entry->compressedSize += length;
    entry->blocksHanded++;
    entry->ended = block->last;
    close->offset = 0;
    close->workers.ReleaseOldest();
}

// Looks for the entry's length before libzip reads it: exact when all of
// it is read already, else the length the host tells for the file (none
// for a length of 0, which special files report).
void MeasureEntry(DeflateEntry *entry) {
    entry->measured = true;
    Feed(entry->close);
    if (entry->fed) {
        entry->size = entry->fedSize;
        entry->sizeKnown = true;
        return;
    }
    FSObjInfo info{};
    if (entry->source != nullptr && host::ExamineHostFile(entry->source->handle, &info) && info.size > 0) {
        entry->size = info.size;
        entry->sizeKnown = true;
    }
}

}  // namespace

void RegisterPendingFile(HostFileStream *source, zip_t *archive, zip_uint64_t index) {
    PendingFile *file = &source->pending;
    file->archive = archive;
    file->index = index;
    file->method = ZIP_CM_DEFAULT;
    file->level = 0;
    file->encryption = ZIP_EM_NONE;
    file->previous = gLast;
    file->next = nullptr;
    (gLast != nullptr ? gLast->next : gFirst) = file;
    gLast = file;
}

void ForgetPendingFile(HostFileStream *source) {
    PendingFile *file = &source->pending;
    if (file->archive == nullptr) return;
    (file->previous != nullptr ? file->previous->next : gFirst) = file->next;
    (file->next != nullptr ? file->next->previous : gLast) = file->previous;
    if (file->writing != nullptr) file->writing->source = nullptr;
    file->archive = nullptr;
}

void NotePendingCompression(zip_t *archive, zip_uint64_t index, int method, int level) {
    PendingFile *file = FindPendingFile(archive, index);
    if (file == nullptr) return;
    if (method != ZIP_CM_DEFAULT) file->method = method;
    file->level = method == ZIP_CM_DEFAULT ? 0 : static_cast<uint32_t>(level);
}

void NotePendingEncryption(zip_t *archive, zip_uint64_t index, zip_uint16_t method, const char *password) {
    PendingFile *file = FindPendingFile(archive, index);
    if (file != nullptr && (method != ZIP_EM_NONE || password != nullptr)) file->encryption = method;
}

bool CloseWithParallelDeflate(zip_t *archive, CloseProgress *progress) {
    const uint32_t count = CountDeflated(archive);
    if (count == 0) return zip_close(archive) == 0;
    ParallelClose *close = BeginClose(archive, count, progress);
    if (close == nullptr) return false;
    const bool written = zip_close(archive) == 0;
    EndClose(close);
    return written;
}

void ParkDeflateWorkers() {
    for (ParallelClose *close = gInnermost; close != nullptr; close = close->outer) close->workers.Park();
}

zip_int64_t OpenDeflatedFile(DeflateEntry *entry) {
    Feed(entry->close);
    return 0;
}

zip_int64_t ReadDeflatedFile(DeflateEntry *entry, void *data, zip_uint64_t length) {
    ParallelClose *close = entry->close;
    auto *out = static_cast<unsigned char *>(data);
    zip_uint64_t copied = 0;
    while (copied < length && !entry->ended) {
        Feed(close);
        DeflateBlock *block = close->workers.Oldest();
        if (block == nullptr || block->owner != entry->ordinal || !close->workers.WaitOldest()) return -1;
        if (entry->blocksHanded == 0 && close->offset == 0) entry->stored = WouldStore(entry, block);
        const unsigned char *bytes = entry->stored ? BlockData(block) : block->output;
        const uint32_t total = entry->stored ? block->dataLength : block->outputLength;
        const auto part = static_cast<uint32_t>(std::min<zip_uint64_t>(total - close->offset, length - copied));
        std::memcpy(out + copied, bytes + close->offset, part);
        copied += part;
        close->offset += part;
        if (close->offset == total) {
            FinishBlock(close, entry, block, total);
            ReportEntryProgress(close, entry);
        }
    }
    return static_cast<zip_int64_t>(copied);
}

void StatDeflatedFile(DeflateEntry *entry, zip_stat_t *stat) {
    stat->valid |= ZIP_STAT_COMP_METHOD;
    stat->comp_method = entry->stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (entry->ended) {
        stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
        stat->size = entry->handed;
        stat->crc = entry->crc;
        stat->comp_size = entry->compressedSize;
        return;
    }
    if (!entry->measured) MeasureEntry(entry);
    if (entry->sizeKnown) {
        stat->valid |= ZIP_STAT_SIZE;
        stat->size = entry->size;
    }
}

zip_int64_t DeflatedFileAttributes(DeflateEntry *entry, void *data, zip_uint64_t length) {
    if (length < sizeof(zip_file_attributes_t)) return -1;
    auto *attributes = static_cast<zip_file_attributes_t *>(data);
    attributes->valid |= ZIP_FILE_ATTRIBUTES_VERSION_NEEDED | ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
    attributes->version_needed = kDeflateVersion;
    attributes->general_purpose_bit_mask = kSourceFlagsMask;
    attributes->general_purpose_bit_flags = entry->stored ? 0 : LevelFlags(entry->level);
    return sizeof(zip_file_attributes_t);
}
