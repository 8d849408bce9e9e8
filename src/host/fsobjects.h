// Directories and whole file-system objects, each request offered to the
// installed adapters first and otherwise served by the real file system.
#pragma once

#include <orvanel/plugin.h>

namespace fsobjects {

struct Dir;

// Opens a directory scan; NULL with errno set on failure.
Dir *OpenDir(const char *path);

// Fills record with the next entry (its name valid until the next call on
// the scan); false at the end or on error.
bool Next(Dir *dir, FSObjInfo *record);

// Starts the scan over; false on failure.
bool Rewind(Dir *dir);

// Describes the directory itself; with FSOBJ_FULLNAME an adapter's name is
// host memory the caller frees (see NameIsOwned). false on failure.
bool StatDir(Dir *dir, int flags, FSObjInfo *record);

// Ends the scan and frees it.
void CloseDir(Dir *dir);

// True when a scan served by an adapter is open on archive or on a folder
// inside it.
bool ScanOpenWithin(const char *archive);

// The adapter serving the scan, or NULL for the host itself.
const char *ServedBy(const Dir *dir);

// True when a record filled with flags by an adapter of dir (or, for Stat,
// by any adapter) carries a name the caller must give back with FreeMemory.
bool NameIsOwned(const Dir *dir, int flags);

// Describes the object at path; *nameOwned tells whether record's name is
// host memory the caller frees. false when there is none.
bool Stat(const char *path, int flags, FSObjInfo *record, bool *nameOwned);

// Object operations; true when done.
bool MakeDir(const char *path);
bool Delete(const char *path);
bool Rename(const char *path, const char *newName);
bool SetAttributes(const char *path, int flags, const FSObjInfo *attributes);

// Moves path to destination: 1 done, 0 failed, -1 when an adapter refuses
// because the two lie in different archives.
int Move(const char *path, const char *destination);

}  // namespace fsobjects
