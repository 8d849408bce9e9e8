// The write lock of an archive file, shared by every process that writes
// archives through this module.
//
// flock(2) on the archive file itself (fcntl(2) locks would drop when any
// descriptor of the file closes). Archives are replaced by rename, so the
// lock is taken on what the path names and then checked to still be what
// the path names. A name with no file yet takes no lock: unrelated new
// archives never wait for each other, and the first of two creators wins
// because a new archive is put in place only where nothing is (see
// core/replacement.h). Readers take no lock: a rename never shows them a
// half-written file.
#pragma once

#include <sys/types.h>

// How an attempt to lock ended.
enum class LockResult {
    Locked,    // held now
    HeldHere,  // this process holds it already: waiting would never end
    TimedOut,  // another process held it for too long
    Absent,    // no file is there: nothing to lock, nothing held
    Failed,    // the file cannot be opened, or is no regular file
};

// The end of the one wait an operation may spend on held locks, a few
// seconds from now.
long LockDeadline();

// The exclusive write lock of one archive path; released by Release or the
// destructor.
class ArchiveLock {
public:
    ArchiveLock() = default;
    ~ArchiveLock() { Release(); }
    ArchiveLock(const ArchiveLock &) = delete;
    ArchiveLock &operator=(const ArchiveLock &) = delete;

    // Takes the lock of the file path names, waiting until deadline (a
    // time of LockDeadline) at most for another process.
    LockResult Acquire(const char *path, long deadline);
    // Gives the lock back; nothing when none is held.
    void Release();
    // Whether the lock is held.
    bool Held() const { return descriptor_ >= 0; }

private:
    int descriptor_ = -1;          // the locked file, or -1
    dev_t device_ = 0;             // its file system
    ino_t inode_ = 0;              // its inode
    ArchiveLock *next_ = nullptr;  // next lock this process holds
};
