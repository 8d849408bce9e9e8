// The folder that holds a file.
#pragma once

// Opens the folder that holds path (read-only, as a directory); -1 on
// failure. Used to lock a name that has no file yet and to make a rename
// in the folder durable.
int OpenFolderOf(const char *path);

// Makes the folder entries of path durable (fsync(2) of its folder).
// False when the folder cannot be opened or synced.
bool SyncFolderOf(const char *path);
