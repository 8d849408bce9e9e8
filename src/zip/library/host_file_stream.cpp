#include "library/host_file_stream.h"

#include <cstdint>
#include <ctime>

#include "core/dates.h"
#include "core/entry_metadata.h"
#include "core/host_archive_source.h"
#include "host.h"

namespace {

// Records a failure with libzip's code and returns -1.
zip_int64_t Fail(HostFileStream *stream, int zipError) {
    zip_error_set(&stream->error, zipError, 0);
    return -1;
}

// Fills libzip's stat record with the file's modification time only.
//
// libzip stats a stream more than once while writing it, and the
// traditional encryption header takes its check byte from the date: a date
// that differs between two STATs, or none at all, makes an entry that no
// password opens. So the date is settled once, at the first STAT: the
// file's, or the current time when the host cannot tell it.
zip_int64_t Stat(HostFileStream *stream, zip_stat_t *stat) {
    zip_stat_init(stat);
    if (!stream->dated) {
        FSObjInfo info{};
        if (host::ExamineHostFile(stream->handle, &info))
            DateRecordToTime(&info.modified, &stream->mtime);
        else
            stream->mtime = time(nullptr);
        stream->dated = true;
    }
    stat->mtime = stream->mtime;
    stat->valid = ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

// Puts the stream back at the start of its file, so that a close tried
// again after a failed one reads the whole file, not the rest of it.
zip_int64_t Rewind(HostFileStream *stream) {
    return host::SeekHostFile(stream->handle, 0, SEEK_FROM_START) < 0 ? Fail(stream, ZIP_ER_SEEK) : 0;
}

// Closes the file and frees the record; the source is gone.
void Free(HostFileStream *stream) {
    ForgetPendingFile(stream);
    host::CloseHostFile(stream->handle);
    zip_error_fini(&stream->error);
    host::FreeMemory(stream);
}

// The stream's commands while a close compresses its file on the workers.
zip_int64_t ServeDeflating(HostFileStream *stream, DeflateEntry *deflating, void *data, zip_uint64_t length,
                           zip_source_cmd_t command) {
    switch (command) {
    case ZIP_SOURCE_OPEN: return OpenDeflatedFile(deflating);
    case ZIP_SOURCE_READ: {
        const zip_int64_t got = ReadDeflatedFile(deflating, data, length);
        return got < 0 ? Fail(stream, ZIP_ER_READ) : got;
    }
    case ZIP_SOURCE_STAT: {
        auto *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &stream->error);
        if (stat == nullptr) return -1;
        const zip_int64_t result = Stat(stream, stat);
        StatDeflatedFile(deflating, stat);
        return result;
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: return DeflatedFileAttributes(deflating, data, length);
    default: return Fail(stream, ZIP_ER_INTERNAL);
    }
}

}  // namespace

zip_int64_t HostFileStreamCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command) {
    auto *stream = static_cast<HostFileStream *>(state);
    DeflateEntry *deflating = stream->pending.writing;
    const bool deflatingCommand = command == ZIP_SOURCE_OPEN || command == ZIP_SOURCE_READ ||
                                  command == ZIP_SOURCE_STAT || command == ZIP_SOURCE_GET_FILE_ATTRIBUTES;
    if (deflating != nullptr && deflatingCommand) return ServeDeflating(stream, deflating, data, length, command);
    switch (command) {
    case ZIP_SOURCE_OPEN: return Rewind(stream);
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_READ: return ReadHostSource(stream->handle, data, length, &stream->error);
    case ZIP_SOURCE_STAT: {
        auto *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &stream->error);
        return stat == nullptr ? -1 : Stat(stream, stat);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
        return length < sizeof(zip_file_attributes_t) ? Fail(stream, ZIP_ER_INVAL)
                                                      : static_cast<zip_int64_t>(sizeof(zip_file_attributes_t));
    case ZIP_SOURCE_ERROR: return zip_error_to_data(&stream->error, data, length);
    case ZIP_SOURCE_FREE: Free(stream); return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default: return Fail(stream, ZIP_ER_OPNOTSUPP);
    }
}

StreamSourceResult MakeStreamSource(zip_t *archive, const char *name, zip_source_t **source, uint32_t *permissions,
                                    HostFileStream **record) {
    host::Memory<HostFileStream> made(static_cast<HostFileStream *>(host::AllocMemory(sizeof(HostFileStream), true, "scb1")));
    if (!made) return StreamSourceResult::NoMemory;
    host::File file(host::OpenHostFile(name, FMODE_READ));
    if (!file) return StreamSourceResult::CannotOpen;
    // A file whose mode cannot be told is refused rather than stored with
    // bits that may grant more than the file does.
    FSObjInfo info{};
    if (!host::ExamineHostFile(file.get(), &info)) return StreamSourceResult::CannotOpen;
    *permissions = PermissionsOf(info);
    made->handle = file.get();
    *source = zip_source_function(archive, HostFileStreamCallback, made.get());
    if (*source == nullptr) return StreamSourceResult::ZipFailed;
    file.release();
    *record = made.release();
    return StreamSourceResult::Made;
}
