// Names the host's file layer serves from memory: the bytes of an archive
// that a plug-in has only as a data pointer or an open host file, and the
// temporary files plug-ins ask for.
#pragma once

#include <orvanel/plugin.h>

#include <cstddef>
#include <cstdint>

namespace sources {

struct Source;

// Registers source under a fresh name and copies the name into buffer;
// false when it does not fit.
bool MakeName(const SourceRecord *source, char *buffer, int size);

// The source registered under name, or NULL.
Source *Find(const char *name);

// A file on source was opened / closed; the registration goes with the
// last close.
void Opened(Source *source);
void Closed(Source *source);

// The source's length, -1 when it cannot be had.
int64_t Length(Source *source);

// Copies up to count bytes at offset; the count copied, -1 on error.
int64_t ReadAt(Source *source, uint64_t offset, void *buffer, size_t count);

// Drops every registration (at exit).
void ReleaseAll();

// Writes length bytes from data, or (isHandle) the whole host file behind
// data, to the file name; 0 on success, else a host error code.
int WriteToFile(const char *name, void *data, uint64_t length, bool isHandle);

// A fresh, unique file name in the temporary folder; false when it does not
// fit or cannot be made.
bool MakeTempName(char *buffer, int size);

}  // namespace sources
