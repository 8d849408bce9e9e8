// Reading, seeking and closing an open file inside an archive.
#include <cerrno>
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/file_handle.h"
#include "adapter/file_info.h"
#include "core/restart_points.h"
#include "host.h"

namespace {

// Replaces the reader by a fresh one at the entry's start; on failure the
// old reader stays.
bool ReopenStream(ZipFileHandle *handle) {
    EntryReader *fresh = OpenEntryStream(handle);
    if (!fresh) return false;
    CloseEntryReader(handle->reader);
    handle->reader = fresh;
    handle->streamUsed = false;
    return true;
}

// How far the reader has come in the entry.
int64_t StreamPosition(const ZipFileHandle *handle) { return static_cast<int64_t>(EntryPosition(handle->reader)); }

// Reads exactly count bytes from the reader; the read that reaches the
// entry's end fails when the entry is damaged.
bool ReadStream(ZipFileHandle *handle, void *buffer, int32_t count) {
    return ReadEntry(handle->reader, buffer, static_cast<zip_uint64_t>(count));
}

// Takes the skip buffer at the first skip; false without memory.
bool EnsureSkipBuffer(ZipFileHandle *handle) {
    if (!handle->skipBuffer) handle->skipBuffer = static_cast<char *>(host::AllocMemory(kSkipBufferSize, false, "zipskip"));
    return handle->skipBuffer != nullptr;
}

// Moves a seekable reader, with the restart points the kept archive holds
// for the entry, so that other handles of the entry use them too. A reader
// that failed is replaced first: a move gives another try, as a rewind does.
bool SeekStream(ZipFileHandle *handle) {
    if (EntryReadFailure(handle->reader) != ReadFailure::None && !ReopenStream(handle)) return false;
    if (handle->cached) {
        ShareRestartPoints(handle->reader,
                           RestartPointsOfEntry(&handle->cached->points, handle->stat.index, handle->stat.size));
    }
    return SeekEntry(handle->reader, static_cast<zip_uint64_t>(handle->position));
}

// Brings the reader to the logical position: moves a seekable one there;
// else reopens it when the host moved back, then reads and drops what lies
// in between.
bool MoveStreamToPosition(ZipFileHandle *handle) {
    if (StreamPosition(handle) == handle->position) return true;
    if (EntrySeekable(handle->reader)) return SeekStream(handle);
    if (StreamPosition(handle) > handle->position && !ReopenStream(handle)) return false;
    if (handle->position > StreamPosition(handle) && !EnsureSkipBuffer(handle)) return false;
    while (handle->position > StreamPosition(handle)) {
        int64_t gap = handle->position - StreamPosition(handle);
        zip_uint64_t chunk = gap < static_cast<int64_t>(kSkipBufferSize) ? static_cast<zip_uint64_t>(gap) : kSkipBufferSize;
        if (!ReadEntry(handle->reader, handle->skipBuffer, chunk)) return false;
    }
    return true;
}

// The bytes that can be read at the position, at most count.
int32_t ReadableCount(const ZipFileHandle *handle, int32_t count) {
    int64_t left = handle->length - handle->position;
    if (count <= 0 || left <= 0) return 0;
    return left < count ? static_cast<int32_t>(left) : count;
}

// The position a seek asks for; false when it lies before the start or
// cannot be represented.
bool SeekTarget(const ZipFileHandle *handle, int64_t offset, int mode, int64_t *target) {
    int64_t base = mode == SEEK_FROM_START ? 0 : mode == SEEK_FROM_END ? handle->length : handle->position;
    if (__builtin_add_overflow(base, offset, target)) return false;
    return *target >= 0;
}

// Sequential handles move only to the start, the end or where they are;
// a rewind after reading needs a fresh stream.
bool SequentialSeekAllowed(ZipFileHandle *handle, int64_t offset, int mode) {
    if (mode > SEEK_FROM_END || offset != 0) return false;
    if (mode == SEEK_FROM_START && handle->streamUsed) return ReopenStream(handle);
    return true;
}

// Checks an empty entry, which no read of data reaches: a read of nothing
// reaches its end.
void CheckEmptyEntry(ZipFileHandle *handle) {
    if (!handle->writing && handle->length == 0) ReadEntry(handle->reader, nullptr, 0);
}

}  // namespace

ZIP_EXPORT int32_t FRead(void *file, void *buffer, int32_t count) {
    auto *handle = static_cast<ZipFileHandle *>(file);
    if (count > 0) CheckEmptyEntry(handle);
    count = ReadableCount(handle, count);
    if (count == 0) return 0;
    if (handle->writing) {
        std::memcpy(buffer, handle->data + handle->position, static_cast<size_t>(count));
    } else if (handle->sequential) {
        if (handle->position != StreamPosition(handle) || !ReadStream(handle, buffer, count)) return 0;
    } else {
        if (!MoveStreamToPosition(handle) || !ReadStream(handle, buffer, count)) return 0;
    }
    handle->position += count;
    handle->streamUsed = true;
    return count;
}

ZIP_EXPORT int64_t FSeek(void *file, int64_t offset, int mode) {
    auto *handle = static_cast<ZipFileHandle *>(file);
    int64_t before = handle->position;
    if (handle->sequential && !SequentialSeekAllowed(handle, offset, mode)) return -1;
    if (mode < SEEK_FROM_CURRENT || mode > SEEK_FROM_END) return before;
    int64_t target;
    if (!SeekTarget(handle, offset, mode, &target)) return -1;
    handle->position = target;
    return before;
}

ZIP_EXPORT int FGetC(void *file) {
    unsigned char byte;
    return FRead(file, &byte, 1) == 1 ? byte : -1;
}

ZIP_EXPORT int FEof(void *file) {
    auto *handle = static_cast<ZipFileHandle *>(file);
    bool failed = !handle->writing && EntryReadFailure(handle->reader) != ReadFailure::None;
    return handle->position >= handle->length && !failed ? 1 : 0;
}

ZIP_EXPORT int FStat(void *file, int flags, FSObjInfo *info) {
    auto *handle = static_cast<ZipFileHandle *>(file);
    info->containerKind = host::kContainerArchive;
    info->containerPath = handle->archivePath;
    if (!handle->writing)
        return FillFSObjInfo(handle->archive, &handle->stat, info, flags, true, nullptr, handle->archivePath) ? 1 : 0;
    bool filled = FillFSObjInfo(handle->archive, nullptr, info, flags, true, handle->innerPath, handle->archivePath);
    info->size = static_cast<uint64_t>(handle->length);
    return filled ? 1 : 0;
}

ZIP_EXPORT int FFlush(void *) { return 0; }

ZIP_EXPORT int FClose(void *file) {
    auto *handle = static_cast<ZipFileHandle *>(file);
    bool closed = !handle->writing || WriteBack(handle);
    int error = errno;  // why the write-back failed, for the host's message
    DestroyFileHandle(handle);
    errno = error;
    return closed ? 1 : 0;
}
