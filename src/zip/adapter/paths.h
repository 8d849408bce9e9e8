// Which host paths run through a ZIP archive, and how they split.
#pragma once

#include <cstddef>

// Size of the adapter's path and name buffers: the longest archive path or
// inner path it serves is one byte shorter.
constexpr size_t kPathBufferSize = 1024;

// A host path split at its first ".zip".
struct ArchivePath {
    char archive[kPathBufferSize];    // the host path up to and including ".zip", caller's case
    char inner[kPathBufferSize + 1];  // the rest after one separator, '\\' as '/'; "" = the archive itself
};

// Splits path into archive and inner path. The inner path gets a trailing
// '/' when trailingSlash is set and it is not empty. Returns false (decline)
// when the path does not run through an archive, or when a part would not
// fit its buffer: a cut path could name another archive or entry.
bool SplitArchivePath(const char *path, ArchivePath *out, bool trailingSlash);
