// Archives read through the host's own file functions (never through a file
// adapter): the route the host's fault injection reaches.
#pragma once

#include <zip.h>

#include <orvanel/plugin.h>

// Where a source record lives: host memory for an archive a command or a
// handle owns; the process heap for one the adapter keeps between handles,
// since scripts rightly expect to hold no host memory once they closed
// everything.
enum class SourceMemory { Host, Heap };

// The record behind a source over one archive file; owned by the source and
// freed by its FREE.
struct HostArchiveSource {
    HostFile *handle;     // the archive file, closed by FREE
    uint64_t size;        // its length
    zip_error_t error;    // the last failure, for ZIP_SOURCE_ERROR
    SourceMemory memory;  // where the record lives
};

// Serves a source's READ from a host file: at most length bytes (a length
// beyond the host's 32-bit counts is served short). The bytes read, or -1
// with ZIP_ER_READ recorded in error.
zip_int64_t ReadHostSource(HostFile *file, void *data, zip_uint64_t length, zip_error_t *error);

// libzip's callback of the source: what libzip expects for command, -1 for
// failures (their cause kept for ZIP_SOURCE_ERROR) and for commands it does
// not serve.
zip_int64_t HostArchiveSourceCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command);

// Opens path read-only through the host's files as an archive, its source
// record in memory. NULL when path names something other than a regular file
// (a FIFO could block forever), or the file cannot be opened, measured or
// read as an archive; nothing is left open then.
zip_t *OpenArchiveThroughHost(const char *path, SourceMemory memory);
