// The file adapter's contract: the 23 entry points through which the host's
// own file functions see into ZIP archives. A host path runs through an
// archive when it contains ".zip" (any case) followed by its end or by a
// separator and an inner path ('/' or '\\'); every other path is declined at
// once, as is one whose parts would not fit a kPathBufferSize buffer (a cut
// path could name another archive or entry). Declining (NULL or 0) lets the
// host serve the path from the real file system or report the failure.
//
// A directory scan holds its archive until it closes: while one is open,
// the archive is never written (writes and changes are declined), and a
// deletion in it is filed and made when the last scan of the archive closes.
#pragma once

#include <cstdint>

#include <orvanel/plugin.h>

#include "plugin.h"

// The adapter's name, handed to the host by FOpen's tag 7 and OpenDir's tag 2.
constexpr char kAdapterName[] = "Zip";

// Open files

// Opens the entry at path. mode FMODE_READ reads it; otherwise it is
// written: FMODE_READWRITE loads its contents first, else it starts empty,
// and the contents go into the archive at FClose. tags: FOPENTAG_FLAGS
// (FOPENFLAG_SEQUENTIAL: reads straight from the stream, only rewinds),
// the archive's bytes (FOPENTAG_SOURCE with FOPENTAG_LENGTH, or
// FOPENTAG_HANDLE, with FOPENTAG_FURTHER), FOPENTAG_USERTAGS ("password",
// "encryption": the method a written entry gets), FOPENTAG_NAME. The handle,
// or NULL when declined: the path names the archive itself or no entry, the
// archive or entry cannot be opened (a wrong password included), memory
// runs out, or a write is asked into a scanned archive or under a name with
// an empty, "." or ".." part.
ZIP_EXPORT void *FOpen(const char *path, int mode, const TagItem *tags);

// Reads up to count bytes at the position into buffer. The bytes read; 0 at
// the end, for count <= 0, and on any failure: data that turns out damaged
// (the read that reaches the entry's end checks its CRC or authentication
// code; for an empty entry, the first read does) or, for a sequential
// handle, a position the stream is not at. Stored and deflated entries
// without encryption are read at the position without reading what lies
// before it (see core/entry_reader.h); others restart from their start to
// move back.
ZIP_EXPORT int32_t FRead(void *file, void *buffer, int32_t count);

// Moves the position to offset from mode's base (SEEK_FROM_START, _CURRENT,
// _END); a position beyond the end is allowed. The position before the call;
// for an unknown mode that position and no move. -1 for a target before the
// start or beyond the 64-bit range, and on a sequential handle for any move
// but offset 0 to the start, the end or where it is (or a rewind whose
// fresh stream cannot be opened).
ZIP_EXPORT int64_t FSeek(void *file, int64_t offset, int mode);

// The byte at the position (0-255), advancing it; -1 at the end or on a
// failed read.
ZIP_EXPORT int FGetC(void *file);

// 1 when the position is at or beyond the end, else 0; 0 as well once a
// read of the handle failed, so that the host tells the failure from an end.
ZIP_EXPORT int FEof(void *file);

// Describes the open file in info: the entry (a writing handle: its current
// length and the current date), containerKind 2 and containerPath the
// archive's path. With FSOBJ_FULLNAME in flags, info->name is the full path
// in host memory the host frees (tag "fullpath"), else it lies in a buffer
// the next call reuses. 1, or 0 when the name cannot be had or copied.
ZIP_EXPORT int FStat(void *file, int flags, FSObjInfo *info);

// Nothing is buffered: always 0.
ZIP_EXPORT int FFlush(void *file);

// Closes the file and frees the handle. A reading handle gives 1. A writing
// handle puts its contents into the archive as the archive stands on disk
// now: 1 when written; 0, with the archive file unchanged and the contents
// lost, when the archive cannot be read or written, the entry of a
// read-write handle changed since FOpen, a new entry would share its name
// with a folder or lie below a file, or a scan of the archive is open.
ZIP_EXPORT int FClose(void *file);

// Writes count bytes of data at the position of a writing handle, filling
// a gap after the end with zeros. count; 0 for a reading handle, count <=
// 0, contents that would reach 4 GiB, or no memory.
ZIP_EXPORT int32_t FWrite(void *file, const void *data, int32_t count);

// Writes one byte like FWrite: 1, or 0.
ZIP_EXPORT int FPutC(void *file, int character);

// Directory scans

// Opens a scan of the directory at path: the archive itself or a directory
// inside it (named by an entry of its own or only by the entries inside
// it). tags: OPENDIRTAG_NAME. The scan, or NULL when declined: no entry lies
// in the directory, the archive cannot be opened, or memory runs out.
ZIP_EXPORT void *OpenDir(const char *path, void *reserved, const TagItem *tags);

// Describes the scan's next child in info (its name, without the path, in a
// buffer the next call reuses): files and subdirectories once each, in the
// order of their first entry in the archive. 1, or 0 at the end and when a
// child cannot be described.
ZIP_EXPORT int NextDirEntry(void *dir, FSObjInfo *info);

// Starts the scan over: 1.
ZIP_EXPORT int RewindDir(void *dir);

// Closes the scan. When the last scan of the archive (and the last handle
// reading through it) goes, the deletions filed with it are made on the
// archive as it stands on disk then; deletions that fail are dropped. 0.
ZIP_EXPORT int CloseDir(void *dir);

// Describes the scanned directory like FStat (its full path with
// FSOBJ_FULLNAME). 1, or 0 for a directory without an entry of its own (the
// archive itself included) and when the name cannot be had.
ZIP_EXPORT int StatDir(void *dir, int flags, FSObjInfo *info);

// Current directories are the host's: always 0 (declined).
ZIP_EXPORT int ChangeDir(const char *path);
ZIP_EXPORT int GetCurDir(char *buffer, int size);

// Objects

// Describes the file or directory at path in info (cleared first): an
// entry found exactly, else ignoring case; else a directory, by the bytes
// of its name, with an entry of its own or entries inside it. With
// FSOBJ_FULLNAME the name as FStat gives it. 1, or 0 when nothing is there
// or the archive cannot be opened.
ZIP_EXPORT int Stat(const char *path, int flags, FSObjInfo *info);

// The changes below open the archive under its write lock, apply themselves
// and write it back at once: 1 when written, 0 (the archive file unchanged)
// when declined, when the object is not there, or when the archive cannot be
// read or written. Names are found exactly, else ignoring case; new names
// must have no empty, "." or ".." part and must not leave a file and a
// folder sharing a name. Only DeleteFSObj works in a scanned archive.

// Makes a directory entry (mode 0755); 0 when an entry of that name exists
// in any case or it would lie below a file.
ZIP_EXPORT int MakeDir(const char *path);

// Deletes the file, or the directory's own entry. In a scanned archive the
// deletion is filed with the scan (see CloseDir): 1 when filed, 0 when there
// is nothing to delete or no memory.
ZIP_EXPORT int DeleteFSObj(const char *path);

// Gives the file or directory the last part newName (one part, no
// separator); a directory's entries all move with it.
ZIP_EXPORT int RenameFSObj(const char *path, const char *newName);

// Moves the file or directory to destination, a path inside the same
// archive (any spelling that names the same file); -1 when destination runs
// through another archive. A directory does not move into itself or onto
// another directory.
ZIP_EXPORT int MoveFSObj(const char *path, const char *destination);

// Sets what flags name from attributes: FSOBJ_SETCOMMENT its comment (at
// most 65535 bytes; NULL removes it), then FSOBJ_SETTIME its modification
// date; 0 for NULL attributes or when either is refused (neither is then
// written).
ZIP_EXPORT int SetFSObjAttributes(const char *path, int flags, const FSObjInfo *attributes);
