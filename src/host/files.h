// The host's file layer: open files served by an installed adapter, by the
// real file system, or from a memory source (sources.h).
#pragma once

#include <orvanel/plugin.h>

#include <cstddef>
#include <cstdint>

namespace files {

// Opens name in mode (FMODE_ values). Unless mode has FMODE_DIRECT the name
// is first offered to every installed adapter, with extraTags (may be NULL)
// handed on. NULL on failure, with errno set.
HostFile *Open(const char *name, int mode, const TagItem *extraTags);

// Closes file; false when the close reported a failure. The record is gone
// for the caller either way.
bool Close(HostFile *file);

// Moves the position (SEEK_FROM_ modes); the position before, or -1.
int64_t Seek(HostFile *file, int64_t position, int mode);

// Reads or writes up to count bytes; the count done, negative (errno set)
// on error. A read gives 0 only at the end of the file.
int32_t Read(HostFile *file, void *buffer, int32_t count);
int32_t Write(HostFile *file, const void *buffer, int32_t count);

// The next byte (0-255), or -1 at the end or on error.
int GetC(HostFile *file);

// Writes one byte (the low 8 bits of byte); false on error.
bool PutC(HostFile *file, int byte);

// True at or after the end of the file.
bool AtEnd(HostFile *file);

// Fills record (flags: FSOBJ_FULLNAME asks an adapter for a name of its
// own); false on failure.
bool Examine(HostFile *file, int flags, FSObjInfo *record);

// Writes out what is buffered; false on failure.
bool Flush(HostFile *file);

// The name file was opened under.
const char *Name(const HostFile *file);

// The name of the adapter serving file, or NULL for the host itself.
const char *ServedBy(const HostFile *file);

// True when an adapter serves file (its FSOBJ_FULLNAME names are then host
// memory that the caller frees).
bool ByAdapter(const HostFile *file);

// Reads up to count bytes at offset without moving the file's position;
// the count read, -1 on error.
int64_t ReadAt(HostFile *file, uint64_t offset, void *buffer, size_t count);

// The length of file, -1 when it cannot be had.
int64_t Length(HostFile *file);

// Keeps file open for one more reader (a memory source), and lets it go:
// a file closed by its owner while readers remain closes with the last.
void Retain(HostFile *file);
void Release(HostFile *file);

}  // namespace files
