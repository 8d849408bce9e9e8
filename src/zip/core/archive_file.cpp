#include "core/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/archive_lock.h"
#include "core/file_copy.h"
#include "core/folder.h"
#include "core/open_source.h"
#include "core/file_identity.h"

namespace {

constexpr char kTemporarySuffix[] = ".XXXXXX";
// libzip writes the central directory in pieces of a few bytes: they are
// gathered into writes of up to this size.
constexpr size_t kPendingSize = 65536;

// The state of one archive file's source.
struct ArchiveFileSource {
    ArchiveLock lock;       // the write lock of path
    bool lockFromOpen;      // the lock was taken at open and is held until FREE
    int original;          // the archive file as it was opened, or -1 when there was none
    FileIdentity identity;  // what original was when opened
    mode_t mode;            // permission bits of the archive file
    uid_t owner;            // its owner and group, when original exists
    gid_t group;
    zip_uint64_t position;  // reading position in original
    int output;             // the temporary file being written, or -1
    zip_error_t error;      // the last failure, for ZIP_SOURCE_ERROR
    char *temporary;        // the temporary file's name, "" while none exists
    char *path;             // the archive's path
    size_t pendingLength;   // bytes in pending
    char pending[kPendingSize];  // written data not yet in output, which continues at its position
};

// Records a failure (libzip's code and errno) and returns -1.
zip_int64_t Fail(ArchiveFileSource *source, int zipError, int systemError = 0) {
    zip_error_set(&source->error, zipError, systemError);
    return -1;
}

// The permission bits a new file gets from the process's umask.
mode_t NewFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Opens the archive file, if there is one. False when path names
// something that is not a regular file, or it cannot be opened.
bool OpenOriginal(ArchiveFileSource *source) {
    source->original = open(source->path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source->original < 0) {
        source->mode = NewFileMode();
        return errno == ENOENT;
    }
    struct stat status;
    if (fstat(source->original, &status) != 0 || !IdentifyOpenFile(source->original, &source->identity)) return false;
    source->mode = status.st_mode & 0777;
    source->owner = status.st_uid;
    source->group = status.st_gid;
    return true;
}

// Whether the path names what was read at open: the same file in the same
// state, or still nothing.
bool OriginalUnchanged(const ArchiveFileSource *source) {
    if (source->original < 0) return PathNamesNothing(source->path);
    FileIdentity now;
    return IdentifyFile(source->path, &now) && Unchanged(now, source->identity);
}

// Takes the write lock (unless held since open) and checks that the
// archive file has not changed since it was read.
zip_int64_t LockUnchanged(ArchiveFileSource *source) {
    if (!source->lockFromOpen && source->lock.Acquire(source->path) != LockResult::Locked)
        return Fail(source, ZIP_ER_INUSE, EWOULDBLOCK);
    if (OriginalUnchanged(source)) return 0;
    if (!source->lockFromOpen) source->lock.Release();
    return Fail(source, ZIP_ER_CHANGED);
}

// Ends a write: the lock goes unless it is held from open to FREE.
void EndWrite(ArchiveFileSource *source) {
    if (!source->lockFromOpen) source->lock.Release();
}

zip_int64_t Read(ArchiveFileSource *source, void *data, zip_uint64_t length) {
    if (source->original < 0) return Fail(source, ZIP_ER_READ, ENOENT);
    ssize_t done;
    do done = pread(source->original, data, length, static_cast<off_t>(source->position));
    while (done < 0 && errno == EINTR);
    if (done < 0) return Fail(source, ZIP_ER_READ, errno);
    source->position += static_cast<zip_uint64_t>(done);
    return done;
}

zip_int64_t Seek(ArchiveFileSource *source, void *data, zip_uint64_t length) {
    zip_int64_t position = zip_source_seek_compute_offset(source->position, static_cast<zip_uint64_t>(source->identity.size),
                                                          data, length, &source->error);
    if (position < 0) return -1;
    source->position = static_cast<zip_uint64_t>(position);
    return 0;
}

// Size and modification time of the file as it was opened; none existed:
// libzip's sign for a new archive (a read error with ENOENT).
zip_int64_t Stat(ArchiveFileSource *source, void *data, zip_uint64_t length) {
    if (source->original < 0) return Fail(source, ZIP_ER_READ, ENOENT);
    zip_stat_t *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
    if (!stat) return -1;
    zip_stat_init(stat);
    stat->size = static_cast<zip_uint64_t>(source->identity.size);
    stat->mtime = source->identity.modified.tv_sec;
    stat->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

// Removes the temporary file this source made, if it still exists.
void RemoveTemporary(ArchiveFileSource *source) {
    if (source->output >= 0) close(source->output);
    source->output = -1;
    source->pendingLength = 0;
    if (source->temporary[0]) unlink(source->temporary);
    source->temporary[0] = '\0';
}

// Gives the new file the old one's owner and group where this process may
// (a script run as root must not take a user's archive from them). False
// where it may not: the file then stays this process's own, as any new
// file would.
bool KeepOwner(const ArchiveFileSource *source) {
    return source->original < 0 || fchown(source->output, source->owner, source->group) == 0;
}

// Makes the temporary file beside the archive, with the archive's owner
// (where possible) and permission bits (never set-id bits: the new file
// may belong to another user than the old one).
zip_int64_t CreateTemporary(ArchiveFileSource *source) {
    std::strcpy(source->temporary, source->path);
    std::strcat(source->temporary, kTemporarySuffix);
    source->output = mkostemp(source->temporary, O_CLOEXEC);
    if (source->output < 0) {
        int error = errno;
        source->temporary[0] = '\0';
        return Fail(source, ZIP_ER_TMPOPEN, error);
    }
    KeepOwner(source);
    if (fchmod(source->output, source->mode) != 0) {
        int error = errno;
        RemoveTemporary(source);
        return Fail(source, ZIP_ER_TMPOPEN, error);
    }
    return 0;
}

zip_int64_t BeginWrite(ArchiveFileSource *source) {
    if (LockUnchanged(source) < 0) return -1;
    if (CreateTemporary(source) < 0) {
        EndWrite(source);
        return -1;
    }
    return 0;
}

// Writes all of data to the temporary file at its position.
bool WriteOut(int output, const char *data, size_t length) {
    while (length > 0) {
        ssize_t written = write(output, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = ENOSPC;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Writes out the pending bytes.
zip_int64_t Flush(ArchiveFileSource *source) {
    size_t length = source->pendingLength;
    source->pendingLength = 0;
    return WriteOut(source->output, source->pending, length) ? 0 : Fail(source, ZIP_ER_WRITE, errno);
}

// Adds data to the pending bytes; what does not fit goes out at once.
zip_int64_t Write(ArchiveFileSource *source, const void *data, zip_uint64_t length) {
    if (source->pendingLength + length > kPendingSize && Flush(source) < 0) return -1;
    if (length >= kPendingSize) {
        return WriteOut(source->output, static_cast<const char *>(data), length) ? static_cast<zip_int64_t>(length)
                                                                                 : Fail(source, ZIP_ER_WRITE, errno);
    }
    std::memcpy(source->pending + source->pendingLength, data, length);
    source->pendingLength += length;
    return static_cast<zip_int64_t>(length);
}

// Begins a write that keeps the archive's first length bytes; -1 leaves no
// temporary file and no lock behind (libzip then begins a plain write).
zip_int64_t BeginWriteCloning(ArchiveFileSource *source, zip_uint64_t length) {
    if (source->original < 0 || length > static_cast<zip_uint64_t>(source->identity.size))
        return Fail(source, ZIP_ER_INVAL);
    if (BeginWrite(source) < 0) return -1;
    if (CopyFileStart(source->original, source->output, length) &&
        lseek(source->output, static_cast<off_t>(length), SEEK_SET) >= 0)
        return 0;
    int error = errno;
    RemoveTemporary(source);
    EndWrite(source);
    return Fail(source, ZIP_ER_WRITE, error);
}

zip_int64_t SeekWrite(ArchiveFileSource *source, void *data, zip_uint64_t length) {
    auto *args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &source->error);
    if (!args || Flush(source) < 0) return -1;
    if (lseek(source->output, args->offset, args->whence) < 0) return Fail(source, ZIP_ER_SEEK, errno);
    return 0;
}

zip_int64_t TellWrite(ArchiveFileSource *source) {
    off_t position = lseek(source->output, 0, SEEK_CUR);
    return position < 0 ? Fail(source, ZIP_ER_TELL, errno) : position + static_cast<off_t>(source->pendingLength);
}

// Puts the new archive in place durably: its data synced, then renamed
// over the archive, then the folder synced.
zip_int64_t CommitWrite(ArchiveFileSource *source) {
    if (Flush(source) < 0) return -1;
    if (fsync(source->output) != 0) return Fail(source, ZIP_ER_WRITE, errno);
    int closed = close(source->output);
    source->output = -1;
    if (closed != 0) return Fail(source, ZIP_ER_CLOSE, errno);
    if (rename(source->temporary, source->path) != 0) return Fail(source, ZIP_ER_RENAME, errno);
    source->temporary[0] = '\0';  // it is the archive now
    const bool synced = SyncFolderOf(source->path);
    const int error = errno;  // before the lock's release can change it
    EndWrite(source);
    return synced ? 0 : Fail(source, ZIP_ER_CLOSE, error);
}

zip_int64_t RollbackWrite(ArchiveFileSource *source) {
    RemoveTemporary(source);
    EndWrite(source);
    return 0;
}

// Removes the archive file (its last entry is gone), as libzip does.
zip_int64_t Remove(ArchiveFileSource *source) {
    if (LockUnchanged(source) < 0) return -1;
    bool removed = unlink(source->path) == 0;
    int error = errno;
    if (removed) SyncFolderOf(source->path);
    EndWrite(source);
    return removed ? 0 : Fail(source, ZIP_ER_REMOVE, error);
}

// Frees the source: the temporary file it made, its files, lock and record.
void Destroy(ArchiveFileSource *source) {
    RemoveTemporary(source);
    if (source->original >= 0) close(source->original);
    zip_error_fini(&source->error);
    source->~ArchiveFileSource();
    free(source);
}

zip_int64_t Supported() {
    return zip_source_make_command_bitmap(
        ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
        ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_BEGIN_WRITE_CLONING,
        ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE,
        ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, ZIP_SOURCE_ACCEPT_EMPTY, ZIP_SOURCE_SUPPORTS, -1);
}

zip_int64_t ArchiveFileCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command) {
    auto *source = static_cast<ArchiveFileSource *>(state);
    switch (command) {
        case ZIP_SOURCE_OPEN: source->position = 0; return 0;
        case ZIP_SOURCE_READ: return Read(source, data, length);
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: return Stat(source, data, length);
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&source->error, data, length);
        case ZIP_SOURCE_FREE: Destroy(source); return 0;
        case ZIP_SOURCE_SEEK: return Seek(source, data, length);
        case ZIP_SOURCE_TELL: return static_cast<zip_int64_t>(source->position);
        case ZIP_SOURCE_BEGIN_WRITE: return BeginWrite(source);
        case ZIP_SOURCE_BEGIN_WRITE_CLONING: return BeginWriteCloning(source, length);
        case ZIP_SOURCE_COMMIT_WRITE: return CommitWrite(source);
        case ZIP_SOURCE_ROLLBACK_WRITE: return RollbackWrite(source);
        case ZIP_SOURCE_WRITE: return Write(source, data, length);
        case ZIP_SOURCE_SEEK_WRITE: return SeekWrite(source, data, length);
        case ZIP_SOURCE_TELL_WRITE: return TellWrite(source);
        case ZIP_SOURCE_REMOVE: return Remove(source);
        case ZIP_SOURCE_ACCEPT_EMPTY: return 0;  // an empty file is no archive
        case ZIP_SOURCE_SUPPORTS: return Supported();
        default: return Fail(source, ZIP_ER_OPNOTSUPP);
    }
}

// A source record with room for the path and the temporary name after it;
// NULL when memory runs out. It lives on the process heap: a deferred
// deletion that runs when a scan closes has nobody to report a failure to.
ArchiveFileSource *NewSource(const char *path, WriteLock lock) {
    size_t length = std::strlen(path);
    size_t size = sizeof(ArchiveFileSource) + 2 * length + sizeof kTemporarySuffix + 1;
    void *memory = calloc(1, size);
    if (!memory) return nullptr;
    auto *source = new (memory) ArchiveFileSource{};
    source->lockFromOpen = lock == WriteLock::FromOpen;
    source->original = -1;
    source->output = -1;
    zip_error_init(&source->error);
    source->path = reinterpret_cast<char *>(source + 1);
    std::memcpy(source->path, path, length + 1);
    source->temporary = source->path + length + 1;
    return source;
}

}  // namespace

zip_t *OpenArchiveThroughWritableFile(const char *path, int flags, WriteLock lock) {
    if (NamesOtherThanFile(path)) return nullptr;
    ArchiveFileSource *source = NewSource(path, lock);
    if (!source) return nullptr;
    bool ready = !source->lockFromOpen || source->lock.Acquire(path) == LockResult::Locked;
    ready = ready && OpenOriginal(source);
    zip_source_t *zipSource = ready ? zip_source_function_create(ArchiveFileCallback, source, nullptr) : nullptr;
    if (!zipSource) {
        Destroy(source);
        return nullptr;
    }
    return OpenFromSource(zipSource, flags);
}
