// The archive write lock: held once per process, always on what the path
// names when it is granted, and never on a name with no file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/archive_lock.h"

namespace {

// Holds the lock of path in a child process that replaces the file by
// rename after a moment and only then lets the lock go. Returns its pid.
pid_t HoldThenReplace(const std::string &path) {
    int held = open(path.c_str(), O_RDONLY);
    flock(held, LOCK_EX);
    pid_t child = fork();
    if (child == 0) {
        usleep(100000);
        std::ofstream(path + ".new") << "new";
        rename((path + ".new").c_str(), path.c_str());
        _exit(0);  // the lock goes with the child's descriptor
    }
    close(held);  // the child's copy keeps the lock
    return child;
}

TEST(ArchiveLock, IsGrantedOnWhatThePathNamesAndRefusedToASecondHolderHere) {
    char folder[] = "/tmp/lock_testXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/a.zip";
    const struct {
        const char *name;
        bool exists;    // a file is there before the lock
        bool replaced;  // another process holds it and replaces the file
    } cases[] = {
        {"a file", true, false},
        {"a file replaced while waiting", true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(path.c_str());
        if (c.exists) std::ofstream(path) << "old";
        pid_t child = c.replaced ? HoldThenReplace(path) : 0;
        ArchiveLock lock, second;
        EXPECT_EQ(lock.Acquire(path.c_str(), LockDeadline()), LockResult::Locked);
        EXPECT_EQ(second.Acquire(path.c_str(), LockDeadline()), LockResult::HeldHere);
        lock.Release();
        EXPECT_EQ(second.Acquire(path.c_str(), LockDeadline()), LockResult::Locked);
        if (child > 0) waitpid(child, nullptr, 0);
    }
    std::remove(path.c_str());
    ArchiveLock none;
    EXPECT_EQ(none.Acquire(path.c_str(), LockDeadline()), LockResult::Absent);
    rmdir(folder);
}

}  // namespace
