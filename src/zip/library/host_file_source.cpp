// libzip sources over files opened with the host's own file functions: a
// seekable source over a whole archive, and a read-once stream for the data
// of a new entry.
#include "host_file_source.h"

#include <cstdint>
#include <ctime>

#include "dates.h"
#include "entry_metadata.h"
#include "host.h"

namespace {

// Reads at most length bytes; a read larger than the host's 32-bit count is
// served short rather than cut to a wrong count.
zip_int64_t ReadSource(HostFileSource *source, void *data, zip_uint64_t length) {
    const int32_t count = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
    return host::ReadHostFile(source->handle, data, count);
}

// Fills libzip's stat record: the size of an archive, the modification time
// of a stream's file (when the host can tell it).
zip_int64_t StatSource(HostFileSource *source, void *data) {
    auto *stat = static_cast<zip_stat_t *>(data);
    zip_stat_init(stat);
    if (source->stream == 0) {
        stat->valid = ZIP_STAT_SIZE;
        stat->size = source->size;
        return sizeof(zip_stat_t);
    }
    // libzip stats a stream more than once while writing it, and the
    // traditional encryption header takes its check byte from the date: a
    // date that differs between two STATs, or none at all, makes an entry
    // that no password opens. So the date is settled once, at the first
    // STAT: the file's, or the current time when the host cannot tell it.
    if (!source->dated) {
        FSObjInfo info{};
        if (host::ExamineHostFile(source->handle, &info))
            DateRecordToTime(&info.modified, &source->mtime);
        else
            source->mtime = time(nullptr);
        source->dated = true;
    }
    stat->mtime = source->mtime;
    stat->valid = ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

// Moves the archive's position as libzip asks; -1 for a position outside
// the file or a failed host seek (the position is then unchanged).
zip_int64_t SeekSource(HostFileSource *source, void *data, zip_uint64_t length) {
    const int64_t current = host::SeekHostFile(source->handle, 0, SEEK_FROM_CURRENT);
    if (current < 0) return -1;
    const zip_int64_t target = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(current), source->size,
                                                              data, length, nullptr);
    if (target < 0) return -1;
    return host::SeekHostFile(source->handle, target, SEEK_FROM_START) < 0 ? -1 : 0;
}

// Closes the file and frees the record; the source is gone.
void FreeSource(HostFileSource *source) {
    if (source->stream != 0) ForgetPendingFile(source);
    host::CloseHostFile(source->handle);
    host::FreeMemory(source);
}

// The length of an open archive file, leaving the position at the start;
// -1 when the host cannot seek it.
int64_t MeasureFile(HostFile *file) {
    if (host::SeekHostFile(file, 0, SEEK_FROM_END) < 0) return -1;
    return host::SeekHostFile(file, 0, SEEK_FROM_START);
}

// Puts a stream back at the start of its file, so that a close tried again
// after a failed one reads the whole file, not the rest of it. -1 when the
// host cannot seek there.
zip_int64_t RewindStream(HostFileSource *source) {
    return host::SeekHostFile(source->handle, 0, SEEK_FROM_START) < 0 ? -1 : 0;
}

}  // namespace

// libzip's callback for both kinds of source. Returns what libzip expects
// for command, -1 for failures and for commands the source does not serve.
zip_int64_t HostFileSourceCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command) {
    auto *source = static_cast<HostFileSource *>(state);
    const bool archive = source->stream == 0;
    DeflateEntry *deflating = source->pending.writing;
    switch (command) {
    case ZIP_SOURCE_OPEN:
        if (deflating) return OpenDeflatedFile(deflating);
        return archive ? 0 : RewindStream(source);
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_READ: return deflating ? ReadDeflatedFile(deflating, data, length) : ReadSource(source, data, length);
    case ZIP_SOURCE_STAT: {
        const zip_int64_t result = StatSource(source, data);
        if (deflating) StatDeflatedFile(deflating, static_cast<zip_stat_t *>(data));
        return result;
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
        if (deflating) return DeflatedFileAttributes(deflating, data, length);
        return length < sizeof(zip_file_attributes_t) ? -1 : static_cast<zip_int64_t>(sizeof(zip_file_attributes_t));
    case ZIP_SOURCE_ERROR: {
        int *codes = static_cast<int *>(data);
        codes[0] = ZIP_ER_OK;
        codes[1] = 0;
        return 2 * sizeof(int);
    }
    case ZIP_SOURCE_FREE: FreeSource(source); return 0;
    case ZIP_SOURCE_SEEK: return archive ? SeekSource(source, data, length) : -1;
    case ZIP_SOURCE_TELL: return archive ? host::SeekHostFile(source->handle, 0, SEEK_FROM_CURRENT) : -1;
    case ZIP_SOURCE_SUPPORTS:
        if (!archive)
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, -1);
    default: return -1;
    }
}

// Opens name as a read-only archive through the host's files (never
// through an adapter). NULL when the file cannot be opened, measured or
// read as an archive; nothing is left open then.
zip_t *OpenArchiveFromHostFile(const char *name) {
    host::Memory<HostFileSource> source(static_cast<HostFileSource *>(host::AllocMemory(sizeof(HostFileSource), true, "scb")));
    if (!source) return nullptr;
    host::File file(host::OpenHostFile(name, FMODE_READ_ARCHIVE));
    if (!file) return nullptr;
    const int64_t size = MeasureFile(file.get());
    if (size < 0) return nullptr;
    source->size = static_cast<uint64_t>(size);
    source->handle = file.get();
    zip_source_t *zipSource = zip_source_function_create(HostFileSourceCallback, source.get(), nullptr);
    if (zipSource == nullptr) return nullptr;
    // From here on the source owns the file and the record.
    file.release();
    source.release();
    zip_error_t error;
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(zipSource, 0, &error);
    zip_error_fini(&error);
    if (archive == nullptr) zip_source_free(zipSource);
    return archive;
}

// Makes a read-once source over the host file name and tells the file's
// permission bits; on success *source belongs to the caller (and holds the
// open file and *record). Nothing is left open or allocated on failure.
StreamSourceResult MakeStreamSource(zip_t *archive, const char *name, zip_source_t **source, uint32_t *permissions,
                                    HostFileSource **record) {
    host::Memory<HostFileSource> made(static_cast<HostFileSource *>(host::AllocMemory(sizeof(HostFileSource), true, "scb1")));
    if (!made) return StreamSourceResult::NoMemory;
    host::File file(host::OpenHostFile(name, FMODE_READ));
    if (!file) return StreamSourceResult::CannotOpen;
    // A file whose mode cannot be told is refused rather than stored with
    // bits that may grant more than the file does.
    FSObjInfo info{};
    if (!host::ExamineHostFile(file.get(), &info)) return StreamSourceResult::CannotOpen;
    *permissions = PermissionsOf(info);
    made->handle = file.get();
    made->stream = 1;
    *source = zip_source_function(archive, HostFileSourceCallback, made.get());
    if (*source == nullptr) return StreamSourceResult::ZipFailed;
    file.release();
    *record = made.release();
    return StreamSourceResult::Made;
}
