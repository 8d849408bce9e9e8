// Which file on disk a path names, as stat(2) tells it.
#pragma once

#include <sys/types.h>

#include <ctime>

// What stat(2) says of a file.
struct FileIdentity {
    dev_t device;             // the file system
    ino_t inode;              // the file on it
    off_t size;               // its length
    struct timespec modified; // last change of its contents
    struct timespec changed;  // last change of its contents or inode
};

// What stat(2) says of path; false when it names no regular file that stat
// can see.
bool IdentifyFile(const char *path, FileIdentity *identity);

// What fstat(2) says of an open file; false when it is no regular file.
bool IdentifyOpenFile(int descriptor, FileIdentity *identity);

// Whether a and b are the same file, however it changed since.
bool SameFile(const FileIdentity &a, const FileIdentity &b);

// Whether a and b are the same file in the same state: size, modification
// and change times (to the nanosecond) all equal.
bool Unchanged(const FileIdentity &a, const FileIdentity &b);

// Whether path names the same regular file as identity.
bool PathNamesFile(const char *path, const FileIdentity &identity);

// Whether path names something other than a regular file (a FIFO, device,
// directory): opening such a thing as an archive could block forever or
// read endless data, so it is declined before anything opens it. A path
// that names nothing yet is not such a thing.
bool NamesOtherThanFile(const char *path);
// Whether path names nothing at all (stat(2) fails with ENOENT).
bool PathNamesNothing(const char *path);
