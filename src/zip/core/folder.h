// The folder that holds a file.
#pragma once

#include <cstddef>

// Writes the name of the folder that holds path into folder (size bytes):
// "." for a bare name. False (errno ENAMETOOLONG) when it does not fit.
bool FolderName(const char *path, char *folder, size_t size);

// The part of path (a file's or an entry's name) after its last '/'; ""
// for a name ending in '/' (a directory entry).
const char *LastNamePart(const char *path);

// Opens the folder that holds path (read-only, as a directory); -1 on
// failure. Used to make a rename in the folder durable and to look for
// what killed writers left there.
int OpenFolderOf(const char *path);

// Makes the folder entries of path durable (fsync(2) of its folder), where
// the folder can be opened: a folder that cannot be read (mode 0300) still
// lets the rename it guards land, so it is no reason to fail.
void SyncFolderOf(const char *path);
