// Path text helpers that plug-ins use through the host.
#pragma once

namespace paths {

// Joins part to the path in buffer (size bytes) with exactly one '/'; an
// absolute part replaces the buffer and an empty buffer just takes it.
// Returns false, leaving buffer unchanged, when the result does not fit.
bool AppendPart(char *buffer, const char *part, int size);

// Where the directory part of path ends: its last '/', or its start when
// there is none.
char *DirectoryEnd(const char *path);

// The last component of path.
const char *FileNamePart(const char *path);

}  // namespace paths
