// The adapter's open file: one archive entry served to the host's file
// functions.
#pragma once

#include <zip.h>

#include <orvanel/plugin.h>

#include "adapter/archive_cache.h"
#include "adapter/registry.h"
#include "core/entry_reader.h"

// Data skipped by a forward seek is read into a buffer this large and
// dropped.
constexpr size_t kSkipBufferSize = 65536;
// In-memory contents of a writing handle stay below 4 GiB, the largest size
// the host's 32-bit interface can describe.
constexpr zip_uint64_t kMaxMemoryContents = 0xFFFFFFFFu;

// One open file inside an archive. The record is one block of host memory
// (tag "zipfile") with its three strings after it.
struct ZipFileHandle {
    zip_t *archive;          // a source's own archive, root's borrowed, or cached's
    CachedArchive *cached;   // the archive this handle uses from the cache, or NULL
    EntryReader *reader;     // the open entry's reader, or NULL
    zip_stat_t stat;         // the entry's stat; zero when never read
    ZipDirHandle *root;      // the scan whose archive is borrowed, or NULL
    char *skipBuffer;        // kSkipBufferSize bytes (host memory) taken at the first skip, or NULL
    char *data;              // whole contents on the process heap (writing), or NULL
    int64_t position;        // logical position
    int64_t length;          // entry size; for writing the highest position written
    zip_uint64_t capacity;   // allocated bytes of data
    char *archivePath;       // the name the archive was opened under
    char *innerPath;         // the entry name as the host wrote it
    char *password;          // "" when none
    bool removeArchiveFile;  // archivePath is a temporary copy this handle made, deleted with it
    bool sequential;         // reads go straight to the stream, only rewinds allowed
    bool streamUsed;         // a read took data since the reader was (re)opened
    uint16_t encryption;     // encryption method for writing, 0 for none
    bool writing;            // contents go back into the archive at FClose
    bool readWrite;          // opened with the entry's contents loaded
    bool loaded;             // read-write: the entry existed and stat describes it
};

// What FOpen read from its tag list.
struct OpenOptions {
    bool sequential;           // tag 1 flag 4
    const void *sourceData;    // tag 2, or NULL
    zip_uint64_t sourceLength; // tag 3
    zip_uint64_t further;      // tag 4
    void *sourceHandle;        // tag 5, or NULL
    const char **nameOut;      // tag 7, or NULL
    const char *password;      // user tag "password", or NULL
    int32_t encryption;        // user tag "encryption", or 0
};

// Reads FOpen's tag list and user tags.
OpenOptions ReadOpenOptions(const TagItem *tags);

// Whether FOpen's tags deliver the archive's bytes (tag 2 or 5).
bool HasSource(const OpenOptions &options);

// Opens the archive whose bytes FOpen's tags 2 or 5 deliver, through the
// host's files: by a name the host makes for them, or a temporary copy on
// hosts before 7.1 (which removeArchiveFile then marks). The name opened
// goes to handle->archivePath, which has kPathBufferSize bytes for it.
// Returns the archive or NULL; a name that does not fit is refused.
zip_t *OpenSourceArchive(ZipFileHandle *handle, const OpenOptions &options);

// Opens a reader of the handle's entry (handle->stat.index) at its start,
// with the handle's password. Returns the reader or NULL.
EntryReader *OpenEntryStream(const ZipFileHandle *handle);

// The writing route of FOpen: checks that the archive can be opened (or
// created) and, with loadContents, loads the entry's current contents.
// Returns false when the archive or the entry cannot be read.
bool OpenForWriting(ZipFileHandle *handle, bool loadContents);

// Applies a writing handle's contents to its archive as the archive stands
// on disk now, so that changes made since FOpen are kept. True when the
// entry landed as asked, else false with the archive file unchanged (also
// while a scan of the archive is open: EBUSY) and errno telling why, as
// WriteArchiveBack's.
bool WriteBack(const ZipFileHandle *handle);

// Releases everything the handle holds (stream, archive or root reference,
// temporary file, contents) and the handle itself.
void DestroyFileHandle(ZipFileHandle *handle);
