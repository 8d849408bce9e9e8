#include "core/host_archive_source.h"

#include <cstdlib>
#include <memory>

#include "core/file_identity.h"
#include "core/open_source.h"
#include "host.h"

namespace {

// Records a failure with libzip's code and returns -1.
zip_int64_t Fail(HostArchiveSource *source, int zipError) {
    zip_error_set(&source->error, zipError, 0);
    return -1;
}

// The size of the archive.
zip_int64_t Stat(HostArchiveSource *source, void *data, zip_uint64_t length) {
    auto *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
    if (stat == nullptr) return -1;
    zip_stat_init(stat);
    stat->valid = ZIP_STAT_SIZE;
    stat->size = source->size;
    return sizeof(zip_stat_t);
}

// Moves the position as libzip asks; -1 for a position outside the file or
// a failed host seek (the position is then unchanged).
zip_int64_t Seek(HostArchiveSource *source, void *data, zip_uint64_t length) {
    const int64_t current = host::SeekHostFile(source->handle, 0, SEEK_FROM_CURRENT);
    if (current < 0) return Fail(source, ZIP_ER_SEEK);
    const zip_int64_t target = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(current), source->size, data,
                                                              length, &source->error);
    if (target < 0) return -1;
    return host::SeekHostFile(source->handle, target, SEEK_FROM_START) < 0 ? Fail(source, ZIP_ER_SEEK) : 0;
}

zip_int64_t Tell(HostArchiveSource *source) {
    const int64_t position = host::SeekHostFile(source->handle, 0, SEEK_FROM_CURRENT);
    return position < 0 ? Fail(source, ZIP_ER_TELL) : position;
}

// Releases a record from wherever it lives.
void FreeRecord(HostArchiveSource *source) {
    if (source->memory == SourceMemory::Heap)
        free(source);
    else
        host::FreeMemory(source);
}

// Closes the file and frees the record; the source is gone.
void Free(HostArchiveSource *source) {
    host::CloseHostFile(source->handle);
    zip_error_fini(&source->error);
    FreeRecord(source);
}

// Frees a record on every way out until libzip owns it.
struct RecordRelease {
    void operator()(HostArchiveSource *source) const { FreeRecord(source); }
};

// A cleared record in memory; NULL when there is none.
HostArchiveSource *NewRecord(SourceMemory memory) {
    void *record = memory == SourceMemory::Heap ? calloc(1, sizeof(HostArchiveSource))
                                                : host::AllocMemory(sizeof(HostArchiveSource), true, "scb");
    auto *source = static_cast<HostArchiveSource *>(record);
    if (source != nullptr) source->memory = memory;
    return source;
}

// The length of an open archive file, leaving the position at the start;
// -1 when the host cannot seek it.
int64_t MeasureFile(HostFile *file) {
    if (host::SeekHostFile(file, 0, SEEK_FROM_END) < 0) return -1;
    return host::SeekHostFile(file, 0, SEEK_FROM_START);
}

}  // namespace

zip_int64_t ReadHostSource(HostFile *file, void *data, zip_uint64_t length, zip_error_t *error) {
    const int32_t got = host::ReadAtMost(file, data, length);
    if (got >= 0) return got;
    zip_error_set(error, ZIP_ER_READ, 0);
    return -1;
}

zip_int64_t HostArchiveSourceCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command) {
    auto *source = static_cast<HostArchiveSource *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN: return 0;
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_READ: return ReadHostSource(source->handle, data, length, &source->error);
    case ZIP_SOURCE_STAT: return Stat(source, data, length);
    case ZIP_SOURCE_ERROR: return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE: Free(source); return 0;
    case ZIP_SOURCE_SEEK: return Seek(source, data, length);
    case ZIP_SOURCE_TELL: return Tell(source);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, -1);
    default: return Fail(source, ZIP_ER_OPNOTSUPP);
    }
}

zip_t *OpenArchiveThroughHost(const char *path, SourceMemory memory) {
    if (NamesOtherThanFile(path)) return nullptr;
    std::unique_ptr<HostArchiveSource, RecordRelease> source(NewRecord(memory));
    if (!source) return nullptr;
    host::File file(host::OpenHostFile(path, FMODE_READ_ARCHIVE));
    if (!file) return nullptr;
    const int64_t size = MeasureFile(file.get());
    if (size < 0) return nullptr;
    source->size = static_cast<uint64_t>(size);
    source->handle = file.get();
    zip_source_t *zipSource = zip_source_function_create(HostArchiveSourceCallback, source.get(), nullptr);
    if (zipSource == nullptr) return nullptr;
    // From here on the source owns the file and the record.
    file.release();
    source.release();
    return OpenFromSource(zipSource, ZIP_RDONLY);
}
