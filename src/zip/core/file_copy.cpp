#include "core/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

constexpr size_t kChunk = 1 << 20;
// The kernel copy goes in pieces of this size, each sent on to the disk
// while the next is copied.
constexpr uint64_t kKernelPiece = 8 << 20;

// Frees platform memory on every way out of a scope.
struct HeapRelease {
    void operator()(void *memory) const { free(memory); }
};

// Whether copy_file_range refused these files as such (another file
// system, no support, an old kernel), so that a copy through memory may
// still work.
bool KernelRefused(int error) { return error == EXDEV || error == EOPNOTSUPP || error == EINVAL || error == ENOSYS; }

// Writes all of data at offset.
bool WriteAllAt(int to, const char *data, size_t count, off_t offset) {
    while (count > 0) {
        ssize_t written = pwrite(to, data, count, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        count -= static_cast<size_t>(written);
        offset += written;
    }
    return true;
}

// Starts writing a copied piece of to out to the disk, so that the sync
// that follows the copy finds most of it written. Only a hint: the sync
// still decides.
void StartWriteback(int to, off_t offset, off_t length) {
    sync_file_range(to, offset, length, SYNC_FILE_RANGE_WRITE);
}

}  // namespace

bool CopyFileStartThroughMemory(int from, int to, uint64_t done, uint64_t length) {
    std::unique_ptr<char, HeapRelease> buffer(static_cast<char *>(malloc(kChunk)));
    if (!buffer) return false;
    while (done < length) {
        size_t want = length - done < kChunk ? static_cast<size_t>(length - done) : kChunk;
        ssize_t got = pread(from, buffer.get(), want, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || !WriteAllAt(to, buffer.get(), static_cast<size_t>(got), static_cast<off_t>(done))) return false;
        StartWriteback(to, static_cast<off_t>(done), got);
        done += static_cast<uint64_t>(got);
    }
    return true;
}

bool CopyFileStart(int from, int to, uint64_t length) {
    off_t in = 0, out = 0;
    while (static_cast<uint64_t>(in) < length) {
        const uint64_t left = length - static_cast<uint64_t>(in);
        ssize_t copied = copy_file_range(from, &in, to, &out, left < kKernelPiece ? left : kKernelPiece, 0);
        if (copied > 0) {  // both offsets have moved on
            StartWriteback(to, out - copied, copied);
            continue;
        }
        if (copied == 0) return false;  // from ended early
        if (errno == EINTR) continue;
        return KernelRefused(errno) && CopyFileStartThroughMemory(from, to, static_cast<uint64_t>(in), length);
    }
    return true;
}
