// Writing an archive with the deflated data of zip.AddFile's files made on
// worker threads: libzip is handed the compressed data and stores it as it
// comes, encrypting it where asked.
#pragma once

#include <cstdint>

#include <zip.h>

struct HostFileStream;
struct DeflateEntry;
struct CloseProgress;

// What the close needs to know of one file added with zip.AddFile. It
// lives in the file's source record, in a list of all such files.
struct PendingFile {
    zip_t *archive;         // the archive it is an entry of; NULL until added
    zip_uint64_t index;     // its entry index
    int32_t method;         // the compression method libzip holds for it
    uint32_t level;         // the compression level libzip holds for it
    uint16_t encryption;    // the encryption method libzip holds for it
    PendingFile *previous;  // the list of pending files, oldest first
    PendingFile *next;
    DeflateEntry *writing;  // its state while a close compresses it, else NULL
};

// Puts the source's file in the list as entry index of archive, at
// libzip's default compression.
void RegisterPendingFile(HostFileStream *source, zip_t *archive, zip_uint64_t index);
// Takes the source's file out of the list (its source is being freed).
void ForgetPendingFile(HostFileStream *source);
// Notes a compression change libzip accepted for entry index of archive,
// the way libzip records it: the default method resets only the level and
// keeps the method it had.
void NotePendingCompression(zip_t *archive, zip_uint64_t index, int method, int level);
// Notes an encryption change libzip accepted, the way libzip records it: no
// encryption without a password keeps the method it had.
void NotePendingEncryption(zip_t *archive, zip_uint64_t index, zip_uint16_t method, const char *password);

// zip_close, with the archive's deflated pending files compressed on
// worker threads, and their progress reported to progress (when not NULL)
// as their data is written: libzip counts only the compressed bytes.
// True when zip_close wrote the archive; false when it failed or the
// workers cannot be set up (the archive is then untouched).
bool CloseWithParallelDeflate(zip_t *archive, CloseProgress *progress);

// Joins the worker threads of every close in progress: called before
// script code runs, so that no thread outlives an error that leaves the
// module.
void ParkDeflateWorkers();

// The stream source's commands while a close compresses its file; each
// returns what libzip expects, -1 on failure.
//
// OPEN starts reading the close's files ahead into blocks.
zip_int64_t OpenDeflatedFile(DeflateEntry *entry);
// READ hands out the entry's blocks in order: compressed, or as they are
// when libzip would have stored the data. -1 when a block failed or the
// blocks at hand are not the entry's.
zip_int64_t ReadDeflatedFile(DeflateEntry *entry, void *data, zip_uint64_t length);
// STAT: before the data the method, and the length when known (so that
// libzip reserves no Zip64 fields it would not for a plain file); after it
// what was written.
void StatDeflatedFile(DeflateEntry *entry, zip_stat_t *stat);
// GET_FILE_ATTRIBUTES: the version needed and the level's general-purpose
// bits, as libzip's deflate reports them.
zip_int64_t DeflatedFileAttributes(DeflateEntry *entry, void *data, zip_uint64_t length);
