// Reading one entry's data from its start to its end, where its integrity
// is checked. zip.ExtractFile and the adapter's reading handles share it.
// Entries without encryption can also be read at any position.
#pragma once

#include <zip.h>

struct EntryReader;
struct RestartPoints;

// Opens entry index of archive for reading, decrypting with password (NULL
// for none). NULL when libzip refuses the entry (missing or wrong password,
// unsupported method, changed since the archive was opened) or memory runs
// out; *noMemory then says which.
EntryReader *OpenEntryReader(zip_t *archive, zip_uint64_t index, const char *password, bool *noMemory);

// Releases the reader and everything it holds; NULL is ignored.
void CloseEntryReader(EntryReader *reader);

// Reads exactly count bytes of the entry's data at the reader's position
// into buffer. The read that reaches the entry's end (a read of 0 bytes
// does, for an empty entry) first checks that the data ends there and is
// intact (CRC, or an AES entry's authentication code): a damaged entry's
// last bytes never come back as good ones. Deflated data is checked so
// after any moves too; stored data only when it was read from its start
// without a gap. False on any failure, including a count beyond the end; a
// reader that failed fails every later read.
bool ReadEntry(EntryReader *reader, void *buffer, zip_uint64_t count);

// Whether SeekEntry can move the reader: stored or deflated entries without
// encryption. Other entries are read in order only.
bool EntrySeekable(const EntryReader *reader);

// Moves the reader of a seekable entry to position (at most the entry's
// size), without reading what lies before it. False on failure, which fails
// the reader.
bool SeekEntry(EntryReader *reader, zip_uint64_t position);

// Lets the reader record its restart points in points (made for this entry
// of this archive) and use those recorded there, instead of keeping its
// own; the reader takes a reference. Ignored once the reader has points,
// and for points made for another size.
void ShareRestartPoints(EntryReader *reader, RestartPoints *points);

// The reader's position: the bytes before the next one it reads.
zip_uint64_t EntryPosition(const EntryReader *reader);

// Why the reader failed, if it did.
enum class ReadFailure {
    None,
    Memory,   // host memory ran out
    Damaged,  // the entry's data, or reading it, failed
};
ReadFailure EntryReadFailure(const EntryReader *reader);

// Closes an entry reader on every way out of a scope.
struct EntryReaderClose {
    void operator()(EntryReader *reader) const { CloseEntryReader(reader); }
};
