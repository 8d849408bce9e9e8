// libzip sources over files opened with the host's own file functions.
#pragma once

#include <zip.h>

#include <orvanel/plugin.h>

#include "library/parallel_close.h"

// The record behind one source; owned by the source, freed by its FREE.
struct HostFileSource {
    HostFile *handle;  // the host file, closed by FREE
    uint64_t size;     // the archive's length; 0 for a stream source
    uint32_t stream;   // 0: seekable archive source, 1: read-once stream
    bool dated;        // a stream's date is settled (at its first STAT)
    time_t mtime;      // that date: the file's, or the time of that STAT
    PendingFile pending;  // a stream's entry, compressed in parallel at the close
};

zip_int64_t HostFileSourceCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command);

// Opens the named file read-only through the host (bypassing adapters) as an
// archive; NULL on failure.
zip_t *OpenArchiveFromHostFile(const char *name);

// Outcome of MakeStreamSource.
enum class StreamSourceResult { Made, CannotOpen, NoMemory, ZipFailed };

// Makes a read-once source over the host file name for archive; the source
// owns the open file and its record (*record, for RegisterPendingFile).
// *permissions gets the bits the entry is to store (PermissionsOf); a file
// the host cannot examine is CannotOpen.
StreamSourceResult MakeStreamSource(zip_t *archive, const char *name, zip_source_t **source, uint32_t *permissions,
                                    HostFileSource **record);
