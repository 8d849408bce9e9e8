// Read-once libzip sources over files opened with the host's own file
// functions: the data of the entries zip.AddFile makes.
#pragma once

#include <ctime>

#include <zip.h>

#include <orvanel/plugin.h>

#include "library/parallel_close.h"

// The record behind one stream; owned by the source, freed by its FREE.
struct HostFileStream {
    HostFile *handle;     // the host file, closed by FREE
    bool dated;           // the date is settled (at the first STAT)
    time_t mtime;         // that date: the file's, or the time of that STAT
    zip_error_t error;    // the last failure, for ZIP_SOURCE_ERROR
    PendingFile pending;  // the entry, compressed in parallel at the close
};

// libzip's callback of the stream: what libzip expects for command, -1 for
// failures (their cause kept for ZIP_SOURCE_ERROR) and for commands it does
// not serve.
zip_int64_t HostFileStreamCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command);

// Outcome of MakeStreamSource.
enum class StreamSourceResult { Made, CannotOpen, NoMemory, ZipFailed };

// Makes a read-once source over the host file name for archive; the source
// owns the open file and its record (*record, for RegisterPendingFile).
// *permissions gets the bits the entry is to store (PermissionsOf); a file
// the host cannot examine is CannotOpen. Nothing is left open or allocated
// unless the source is Made.
StreamSourceResult MakeStreamSource(zip_t *archive, const char *name, zip_source_t **source, uint32_t *permissions,
                                    HostFileStream **record);
