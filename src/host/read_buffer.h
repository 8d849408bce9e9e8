// A read buffer in front of a host file, as C's stdio keeps one: small
// reads (lines, numerals, single bytes) cost no host call each and never
// need a seek back, which a deflated entry pays by reading again from its
// start and a sequential handle refuses.
#pragma once

#include <cstddef>
#include <cstdint>

struct HostFile;

// Bytes one buffer reads ahead at most.
constexpr size_t kReadBufferSize = 8192;

// What a file has read ahead of its reader. Plain data, so that it can live
// inside a Lua userdata; an all-zero record is an empty buffer.
struct ReadBuffer {
    unsigned char bytes[kReadBufferSize];  // bytes read from the file
    size_t begin;                          // the next byte to hand out
    size_t end;                            // the end of the bytes read
    bool failed;                           // a read failed since the reader cleared it
    int error;                             // errno of that failure
};

namespace readbuffer {

// Forgets what buffer holds.
void Reset(ReadBuffer *buffer);

// Makes sure buffer holds a byte, reading from file when it is empty; false
// at the end of the file or after a failure (buffer->failed set).
bool Fill(HostFile *file, ReadBuffer *buffer);

// The next byte (0-255), or -1 at the end or after a failure.
int GetC(HostFile *file, ReadBuffer *buffer);

// Puts back the byte the last GetC returned.
void UngetC(ReadBuffer *buffer);

// Copies up to count bytes to out, reading requests as large as the buffer
// straight from the file; the count copied, short only at the end or after
// a failure.
size_t Read(HostFile *file, ReadBuffer *buffer, char *out, size_t count);

// Moves the file back to the position its reader has reached and empties
// buffer (before a write, or before others use the file); false when the
// file cannot seek there.
bool Sync(HostFile *file, ReadBuffer *buffer);

// Seeks (SEEK_FROM_ modes) as the reader sees the file: the new position,
// or -1. A target inside buffer is reached without a host call.
int64_t Seek(HostFile *file, ReadBuffer *buffer, int64_t offset, int mode);

// True when nothing is held and the file is at its end.
bool AtEnd(HostFile *file, ReadBuffer *buffer);

}  // namespace readbuffer
