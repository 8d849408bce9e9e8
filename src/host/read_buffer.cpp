#include "read_buffer.h"

#include <cerrno>
#include <cstring>

#include "files.h"

namespace readbuffer {
namespace {

// Largest count one host read is asked for.
constexpr size_t kLargestRead = 1 << 20;

// The bytes held and not handed out yet.
size_t Held(const ReadBuffer *buffer) { return buffer->end - buffer->begin; }

// Reads up to count bytes from file; the count read (0 at the end), or -1
// after recording the failure in buffer.
int32_t ReadFile(HostFile *file, ReadBuffer *buffer, void *out, size_t count) {
    int32_t got = files::Read(file, out, static_cast<int32_t>(count < kLargestRead ? count : kLargestRead));
    if (got >= 0) return got;
    buffer->failed = true;
    buffer->error = errno;
    return -1;
}

// Hands out up to count held bytes; the count copied.
size_t TakeHeld(ReadBuffer *buffer, char *out, size_t count) {
    size_t take = Held(buffer) < count ? Held(buffer) : count;
    memcpy(out, buffer->bytes + buffer->begin, take);
    buffer->begin += take;
    return take;
}

}  // namespace

void Reset(ReadBuffer *buffer) { buffer->begin = buffer->end = 0; }

bool Fill(HostFile *file, ReadBuffer *buffer) {
    if (Held(buffer) > 0) return true;
    if (buffer->failed) return false;
    Reset(buffer);
    int32_t got = ReadFile(file, buffer, buffer->bytes, kReadBufferSize);
    if (got <= 0) return false;
    buffer->end = static_cast<size_t>(got);
    return true;
}

int GetC(HostFile *file, ReadBuffer *buffer) {
    if (!Fill(file, buffer)) return -1;
    return buffer->bytes[buffer->begin++];
}

void UngetC(ReadBuffer *buffer) { --buffer->begin; }

size_t Read(HostFile *file, ReadBuffer *buffer, char *out, size_t count) {
    size_t done = TakeHeld(buffer, out, count);
    while (done < count && !buffer->failed) {
        size_t left = count - done;
        if (left < kReadBufferSize) {
            if (!Fill(file, buffer)) break;
            done += TakeHeld(buffer, out + done, left);
            continue;
        }
        int32_t got = ReadFile(file, buffer, out + done, left);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool Sync(HostFile *file, ReadBuffer *buffer) {
    size_t held = Held(buffer);
    if (held > 0 && files::Seek(file, -static_cast<int64_t>(held), SEEK_FROM_CURRENT) < 0) return false;
    Reset(buffer);
    return true;
}

int64_t Seek(HostFile *file, ReadBuffer *buffer, int64_t offset, int mode) {
    if (mode == SEEK_FROM_END) {
        if (files::Seek(file, offset, mode) < 0) return -1;
        Reset(buffer);
        // A host seek tells the position before the move; the end is known
        // only to the file.
        return files::Seek(file, 0, SEEK_FROM_CURRENT);
    }
    int64_t held = static_cast<int64_t>(Held(buffer));
    if (held == 0) {
        int64_t before = files::Seek(file, offset, mode);
        if (before < 0) return -1;
        return mode == SEEK_FROM_START ? offset : before + offset;
    }
    int64_t here = files::Seek(file, 0, SEEK_FROM_CURRENT);
    if (here < 0) return -1;
    int64_t target = offset;
    if (mode == SEEK_FROM_CURRENT && __builtin_add_overflow(here - held, offset, &target)) return -1;
    int64_t start = here - static_cast<int64_t>(buffer->end);
    if (target >= start && target <= here) {
        buffer->begin = static_cast<size_t>(target - start);
        return target;
    }
    if (files::Seek(file, target, SEEK_FROM_START) < 0) return -1;
    Reset(buffer);
    return target;
}

bool AtEnd(HostFile *file, ReadBuffer *buffer) { return Held(buffer) == 0 && files::AtEnd(file); }

}  // namespace readbuffer
