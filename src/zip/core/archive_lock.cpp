#include "core/archive_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "core/file_identity.h"

namespace {

// How long a writer waits for another process's write, at most.
constexpr long kWaitMilliseconds = 5000;
constexpr long kMillisecondsPerSecond = 1000;
constexpr long kNanosecondsPerMillisecond = 1000000;
// The longest pause between two tries.
constexpr long kLongestPauseMilliseconds = 20;

// Every lock this process holds: a second lock on one of their files would
// wait for itself.
ArchiveLock *gHeld = nullptr;

// A monotonic clock in milliseconds, for the lock wait.
long NowMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * kMillisecondsPerSecond + now.tv_nsec / kNanosecondsPerMillisecond;
}

// Sleeps milliseconds between two tries of a held lock.
void Pause(long milliseconds) {
    timespec pause{milliseconds / kMillisecondsPerSecond,
                   (milliseconds % kMillisecondsPerSecond) * kNanosecondsPerMillisecond};
    nanosleep(&pause, nullptr);
}

// Locks descriptor, trying until deadline; false when it cannot.
bool LockBefore(int descriptor, long deadline) {
    long pause = 1;
    for (;;) {
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || NowMilliseconds() >= deadline) return false;
        Pause(pause);
        if (pause < kLongestPauseMilliseconds) pause *= 2;
    }
}

// Opens the file path names and fills *guard with what fstat(2) says of
// it. -1 when it does not open or is no regular file (O_NONBLOCK: a FIFO
// must not block the open); errno is ENOENT when nothing is there.
int OpenGuard(const char *path, struct stat *guard) {
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor >= 0 && (fstat(descriptor, guard) != 0 || !S_ISREG(guard->st_mode))) {
        close(descriptor);
        errno = EINVAL;
        return -1;
    }
    return descriptor;
}

// Whether path still names the file the lock guards.
bool StillGuarded(const char *path, const struct stat &guard) {
    FileIdentity locked{};
    locked.device = guard.st_dev;
    locked.inode = guard.st_ino;
    return PathNamesFile(path, locked);
}

}  // namespace

long LockDeadline() { return NowMilliseconds() + kWaitMilliseconds; }

LockResult ArchiveLock::Acquire(const char *path, long deadline) {
    Release();
    for (;;) {
        struct stat guard;
        int descriptor = OpenGuard(path, &guard);
        if (descriptor < 0) return errno == ENOENT ? LockResult::Absent : LockResult::Failed;
        for (const ArchiveLock *held = gHeld; held; held = held->next_) {
            if (held->device_ == guard.st_dev && held->inode_ == guard.st_ino) {
                close(descriptor);
                return LockResult::HeldHere;
            }
        }
        if (!LockBefore(descriptor, deadline)) {
            close(descriptor);
            return LockResult::TimedOut;
        }
        if (StillGuarded(path, guard)) {
            descriptor_ = descriptor;
            device_ = guard.st_dev;
            inode_ = guard.st_ino;
            next_ = gHeld;
            gHeld = this;
            return LockResult::Locked;
        }
        // Replaced while this process waited: lock what the path names now.
        close(descriptor);
        if (NowMilliseconds() >= deadline) return LockResult::TimedOut;
    }
}

void ArchiveLock::Release() {
    if (descriptor_ < 0) return;
    ArchiveLock **link = &gHeld;
    while (*link != this) link = &(*link)->next_;
    *link = next_;
    close(descriptor_);  // closing the last descriptor of the open file unlocks it
    descriptor_ = -1;
}
