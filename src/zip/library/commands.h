// The seventeen script commands of the zip library. Each takes the script
// state and returns the number of results it pushed or an error code; a
// wrong id gives "Cannot find specified zip archive!", and a command on an
// archive a running command uses gives "Zip archive is in use!".
#pragma once

#include <orvanel/plugin.h>

// ---- Archive objects

// zip.OpenArchive(id, filename$ [, mode]): returns the automatic id when id
// was nil, else nothing.
int OpenArchive(ScriptState *L);

// zip.CloseArchive(id [, discard, callback, userdata]): writes the pending
// changes (or drops them with discard) and forgets the id. A failed write
// returns the zip error and keeps the archive open with its changes.
int CloseArchive(ScriptState *L);

// zip.GetObjectType(): the object type id of archives.
int GetObjectType(ScriptState *L);

// ---- Adding entries

// idx = zip.AddDirectory(id, d$ [, {encoding}]): adds a directory entry;
// libzip appends the "/" when d$ lacks it. An empty name is refused before
// libzip, which would read the byte before it.
int AddDirectory(ScriptState *L);

// idx = zip.AddFile(id, f$ [, options]): adds the host file f$ as a new
// entry; its data is read when the archive is closed.
int AddFile(ScriptState *L);

// ---- Listing and lookup

// name$ = zip.GetFileAtIndex(id, idx): the entry's current name as libzip
// decodes it; a zip error for an index libzip refuses.
int GetFileAtIndex(ScriptState *L);

// idx = zip.LocateFile(id, name$ [, {nocase, nodir}]): the lowest matching
// index, or -1 when no entry matches (never an error).
int LocateFile(ScriptState *L);

// ---- Editing entries

// zip.DeleteFile(id, idx): marks the entry deleted; it keeps its index
// until the archive is closed.
int DeleteFile(ScriptState *L);

// zip.RenameFile(id, idx, newname$ [, {encoding}]): gives the entry a new
// name, converted to code page 437 when the encoding asks for it.
int RenameFile(ScriptState *L);

// zip.SetDefaultPassword(id, pwd$): the password of every entry that has
// none of its own; the empty string removes it.
int SetDefaultPassword(ScriptState *L);

// zip.SetFileEncryption(id, idx, method [, pwd$]): encrypts the entry with
// method when the archive is written; without pwd$ the default password.
int SetFileEncryption(ScriptState *L);

// zip.SetFileCompression(id, idx, method [, flags]): compresses the entry
// with method and level flags when the archive is written.
int SetFileCompression(ScriptState *L);

// zip.SetFileComment(id [, c$, idx]): sets the comment of the entry or the
// archive; no or an empty comment removes it.
int SetFileComment(ScriptState *L);

// c$ = zip.GetFileComment(id [, idx]): the comment, whole whatever its
// bytes; the empty string when there is none or the index is bad.
int GetFileComment(ScriptState *L);

// zip.SetFileTime(id, idx, time$): sets the entry's modification time;
// HOSTERR_BADVALUE for a text that is no date string.
int SetFileTime(ScriptState *L);

// ---- Extraction and attributes

// zip.ExtractFile(id, idx, dst$ [, {password, callback, userdata}]): writes
// the entry's data to dst$. Returns 0, or the error of the failed step. An
// entry whose data turns out damaged leaves all but its last chunk behind;
// a destination that this command created is then removed, anything that
// was there before (a file, a device) is left.
int ExtractFile(ScriptState *L);

// t = zip.GetFileAttributes(id, idx): a table of size, compressedsize,
// crc32, compression, encryption and time; a zip error when libzip has no
// stat for the index.
int GetFileAttributes(ScriptState *L);
