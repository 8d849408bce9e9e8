#include "core/archive_file.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/archive_lock.h"
#include "core/archive_path.h"
#include "core/file_attributes.h"
#include "core/file_copy.h"
#include "core/file_identity.h"
#include "core/folder.h"
#include "core/open_source.h"
#include "core/replacement.h"

namespace {

// The mode a replacement starts with before it takes the old file's: its
// writer's alone. A new archive's is what the kernel makes of 0666 (the
// umask, the folder's default ACL).
constexpr unsigned kPrivateMode = 0600;
constexpr unsigned kNewFileMode = 0666;
// libzip writes the central directory in pieces of a few bytes: they are
// gathered into writes of up to this size.
constexpr size_t kPendingSize = 65536;

// The state of one archive file's source.
struct ArchiveFileSource {
    ArchiveLock lock;       // the write lock of path
    bool lockFromOpen;      // the lock was taken at open and is held until FREE
    int original;          // the archive file as it was opened, or -1 when there was none
    FileIdentity identity;  // what original was when opened
    zip_uint64_t position;  // reading position in original
    long retryDeadline;     // the lock wait's end for a write libzip begins again, or 0
    Replacement output;     // the new archive file being written
    zip_error_t error;      // the last failure, for ZIP_SOURCE_ERROR
    char path[PATH_MAX];    // the archive file's path, its links followed
    size_t pendingLength;   // bytes in pending
    char pending[kPendingSize];  // written data not yet in output, which continues at its position
};

// Records a failure (libzip's code and errno) and returns -1.
zip_int64_t Fail(ArchiveFileSource *source, int zipError, int systemError = 0) {
    zip_error_set(&source->error, zipError, systemError);
    return -1;
}

// Opens the archive file, if there is one. False when path names
// something that is not a regular file, or it cannot be opened.
bool OpenOriginal(ArchiveFileSource *source) {
    source->original = open(source->path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source->original < 0) return errno == ENOENT;
    return IdentifyOpenFile(source->original, &source->identity);
}

// Records why a lock was not taken: another holder (here or elsewhere), or
// errno's failure.
zip_int64_t FailLock(ArchiveFileSource *source, LockResult result) {
    if (result == LockResult::Absent) return Fail(source, ZIP_ER_CHANGED);
    return Fail(source, ZIP_ER_INUSE, result == LockResult::Failed ? errno : EWOULDBLOCK);
}

// Takes the archive file's lock before deadline; once it is held, removes
// what killed writers left beside the archive.
LockResult TakeLock(ArchiveFileSource *source, long deadline) {
    LockResult result = source->lock.Acquire(source->path, deadline);
    if (result == LockResult::Locked) RemoveLeftovers(source->path);
    return result;
}

// Takes the lock of an existing archive file before deadline. A new
// archive takes none.
zip_int64_t Lock(ArchiveFileSource *source, long deadline) {
    if (source->original < 0) return 0;
    LockResult result = TakeLock(source, deadline);
    return result == LockResult::Locked ? 0 : FailLock(source, result);
}

// Whether the path names what was read at open: the same file in the same
// state, or still nothing.
bool OriginalUnchanged(const ArchiveFileSource *source) {
    if (source->original < 0) return PathNamesNothing(source->path);
    FileIdentity now;
    return IdentifyFile(source->path, &now) && Unchanged(now, source->identity);
}

// Ends a write: the lock goes unless it is held from open to FREE.
void EndWrite(ArchiveFileSource *source) {
    if (!source->lockFromOpen) source->lock.Release();
}

// Takes the write lock (unless held since open), and checks that the
// archive file has not changed since it was read and that this process may
// write the file itself: the rename needs only the folder's permission,
// which must not let anyone replace a file they may not write.
zip_int64_t LockUnchanged(ArchiveFileSource *source, long deadline) {
    if (!source->lockFromOpen && Lock(source, deadline) < 0) return -1;
    zip_int64_t result = 0;
    if (!OriginalUnchanged(source))
        result = Fail(source, ZIP_ER_CHANGED);
    else if (source->original >= 0 && faccessat(AT_FDCWD, source->path, W_OK, AT_EACCESS) != 0)
        result = Fail(source, ZIP_ER_RDONLY, errno);
    if (result < 0) EndWrite(source);
    return result;
}

// Reads from the archive file as opened, at the reading position.
zip_int64_t Read(ArchiveFileSource *source, void *data, zip_uint64_t length) {
    if (source->original < 0) return Fail(source, ZIP_ER_READ, ENOENT);
    ssize_t done;
    do done = pread(source->original, data, length, static_cast<off_t>(source->position));
    while (done < 0 && errno == EINTR);
    if (done < 0) return Fail(source, ZIP_ER_READ, errno);
    source->position += static_cast<zip_uint64_t>(done);
    return done;
}

// Moves the reading position as libzip asks, within the file as opened.
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
    DiscardReplacement(&source->output);
    source->pendingLength = 0;
}

// Makes the temporary file beside the archive with what the archive file
// keeps (core/file_attributes.h). An archive of another user that this
// process may not give back to them is refused (EPERM): the new file would
// take the archive from its owner, and writing the file in place would
// give up crash safety.
zip_int64_t CreateTemporary(ArchiveFileSource *source) {
    const bool replacing = source->original >= 0;
    if (!CreateReplacement(source->path, replacing ? kPrivateMode : kNewFileMode, &source->output))
        return Fail(source, ZIP_ER_TMPOPEN, errno);
    KeepResult kept = replacing ? KeepAttributes(source->original, source->output.descriptor) : KeepResult::Kept;
    if (kept == KeepResult::Kept) return 0;
    int error = kept == KeepResult::OwnerRefused ? EPERM : errno;
    RemoveTemporary(source);
    return Fail(source, kept == KeepResult::OwnerRefused ? ZIP_ER_RDONLY : ZIP_ER_TMPOPEN, error);
}

// The end of the lock wait for a write that begins now: the one wait the
// write has. libzip begins a plain write at once when a cloning one fails;
// that write waits only for what is left of the first wait.
long TakeDeadline(ArchiveFileSource *source) {
    long deadline = source->retryDeadline ? source->retryDeadline : LockDeadline();
    source->retryDeadline = 0;
    return deadline;
}

// Begins a plain write: the lock taken by deadline, then the temporary
// file made; -1 leaves neither behind.
zip_int64_t BeginWrite(ArchiveFileSource *source, long deadline) {
    if (LockUnchanged(source, deadline) < 0) return -1;
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
    return WriteOut(source->output.descriptor, source->pending, length) ? 0 : Fail(source, ZIP_ER_WRITE, errno);
}

// Adds data to the pending bytes; what does not fit goes out at once.
zip_int64_t Write(ArchiveFileSource *source, const void *data, zip_uint64_t length) {
    if (source->pendingLength + length > kPendingSize && Flush(source) < 0) return -1;
    if (length >= kPendingSize) {
        return WriteOut(source->output.descriptor, static_cast<const char *>(data), length) ? static_cast<zip_int64_t>(length)
                                                                                 : Fail(source, ZIP_ER_WRITE, errno);
    }
    std::memcpy(source->pending + source->pendingLength, data, length);
    source->pendingLength += length;
    return static_cast<zip_int64_t>(length);
}

// Begins a write that keeps the archive's first length bytes; -1 leaves no
// temporary file and no lock behind (libzip then begins a plain write).
zip_int64_t BeginWriteCloning(ArchiveFileSource *source, zip_uint64_t length) {
    source->retryDeadline = LockDeadline();
    if (source->original < 0 || length > static_cast<zip_uint64_t>(source->identity.size))
        return Fail(source, ZIP_ER_INVAL);
    if (BeginWrite(source, source->retryDeadline) < 0) return -1;
    const int output = source->output.descriptor;
    if (CopyFileStart(source->original, output, length) && lseek(output, static_cast<off_t>(length), SEEK_SET) >= 0)
        return 0;
    int error = errno;
    RemoveTemporary(source);
    EndWrite(source);
    return Fail(source, ZIP_ER_WRITE, error);
}

// Moves the writing position in the temporary file, after the pending bytes.
zip_int64_t SeekWrite(ArchiveFileSource *source, void *data, zip_uint64_t length) {
    auto *args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &source->error);
    if (!args || Flush(source) < 0) return -1;
    if (lseek(source->output.descriptor, args->offset, args->whence) < 0) return Fail(source, ZIP_ER_SEEK, errno);
    return 0;
}

// The writing position, pending bytes included.
zip_int64_t TellWrite(ArchiveFileSource *source) {
    off_t position = lseek(source->output.descriptor, 0, SEEK_CUR);
    return position < 0 ? Fail(source, ZIP_ER_TELL, errno) : position + static_cast<off_t>(source->pendingLength);
}

// Puts the new archive in place durably: its data synced, then renamed
// over the archive (a new one only where still nothing is: the first of
// two creators wins), then the folder synced. Once it landed the write
// succeeded, whether the folder can be synced or not.
zip_int64_t CommitWrite(ArchiveFileSource *source) {
    if (Flush(source) < 0) return -1;
    if (fsync(source->output.descriptor) != 0) return Fail(source, ZIP_ER_WRITE, errno);
    if (!CommitReplacement(&source->output, source->path, source->original >= 0)) {
        int error = errno;
        EndWrite(source);
        return Fail(source, error == EEXIST ? ZIP_ER_CHANGED : ZIP_ER_RENAME, error);
    }
    SyncFolderOf(source->path);
    EndWrite(source);
    return 0;
}

// Drops the write begun: its temporary file and its lock.
zip_int64_t RollbackWrite(ArchiveFileSource *source) {
    RemoveTemporary(source);
    EndWrite(source);
    return 0;
}

// Removes the archive file (its last entry is gone), as libzip does; where
// there was none, libzip's sign for nothing to remove.
zip_int64_t Remove(ArchiveFileSource *source) {
    if (LockUnchanged(source, LockDeadline()) < 0) return -1;
    bool removed = source->original >= 0 && unlink(source->path) == 0;
    int error = source->original >= 0 ? errno : ENOENT;
    if (removed) SyncFolderOf(source->path);
    EndWrite(source);
    return removed ? 0 : Fail(source, ZIP_ER_REMOVE, error);
}

// Frees the source: the temporary file it made, its files, lock and
// record. errno stays as it was, for a caller reporting why it gave up.
void Destroy(ArchiveFileSource *source) {
    int error = errno;
    RemoveTemporary(source);
    if (source->original >= 0) close(source->original);
    zip_error_fini(&source->error);
    source->~ArchiveFileSource();
    free(source);
    errno = error;
}

// The commands this source answers.
zip_int64_t Supported() {
    return zip_source_make_command_bitmap(
        ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
        ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_BEGIN_WRITE_CLONING,
        ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE,
        ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, ZIP_SOURCE_ACCEPT_EMPTY, ZIP_SOURCE_SUPPORTS, -1);
}

// The source's one entry point for libzip. A plain write that libzip
// begins right after a cloning one failed keeps what was left of that
// one's lock wait; any other command in between ends it.
zip_int64_t ArchiveFileCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command) {
    auto *source = static_cast<ArchiveFileSource *>(state);
    if (command != ZIP_SOURCE_BEGIN_WRITE && command != ZIP_SOURCE_ERROR) source->retryDeadline = 0;
    switch (command) {
        case ZIP_SOURCE_OPEN: source->position = 0; return 0;
        case ZIP_SOURCE_READ: return Read(source, data, length);
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: return Stat(source, data, length);
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&source->error, data, length);
        case ZIP_SOURCE_FREE: Destroy(source); return 0;
        case ZIP_SOURCE_SEEK: return Seek(source, data, length);
        case ZIP_SOURCE_TELL: return static_cast<zip_int64_t>(source->position);
        case ZIP_SOURCE_BEGIN_WRITE: return BeginWrite(source, TakeDeadline(source));
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

// A source record for the archive file path names, its links followed;
// NULL when memory runs out or path cannot be resolved. It lives on the
// process heap: a deferred deletion that runs when a scan closes has
// nobody to report a failure to.
ArchiveFileSource *NewSource(const char *path, WriteLock lock) {
    void *memory = calloc(1, sizeof(ArchiveFileSource));
    if (!memory) return nullptr;
    auto *source = new (memory) ArchiveFileSource{};
    source->lockFromOpen = lock == WriteLock::FromOpen;
    source->original = -1;
    zip_error_init(&source->error);
    if (ResolveArchivePath(path, source->path, sizeof source->path)) return source;
    Destroy(source);
    return nullptr;
}

// Opens the archive file; one locked from open is locked first, and
// counts as new only where the lock found no file.
bool OpenLocked(ArchiveFileSource *source) {
    if (!source->lockFromOpen) return OpenOriginal(source);
    LockResult result = TakeLock(source, LockDeadline());
    if (result == LockResult::Absent) {
        if (PathNamesNothing(source->path)) return true;
        errno = EWOULDBLOCK;  // another writer is making it right now
        return false;
    }
    if (result != LockResult::Locked) {
        if (result != LockResult::Failed) errno = EWOULDBLOCK;
        return false;
    }
    return OpenOriginal(source);
}

}  // namespace

zip_t *OpenArchiveThroughWritableFile(const char *path, int flags, WriteLock lock) {
    if (NamesOtherThanFile(path)) return nullptr;
    ArchiveFileSource *source = NewSource(path, lock);
    if (!source) return nullptr;
    zip_source_t *zipSource =
        OpenLocked(source) ? zip_source_function_create(ArchiveFileCallback, source, nullptr) : nullptr;
    if (!zipSource) {
        Destroy(source);
        return nullptr;
    }
    return OpenFromSource(zipSource, flags);
}
