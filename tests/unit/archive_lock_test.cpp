// The archive write lock: held once per process, always on what the path
// names when it is granted, and never on a name with no file. Named
// replacements (no O_TMPFILE): the first of two creators wins, and what a
// killed writer left goes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/archive_lock.h"
#include "core/replacement.h"

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
    for (bool replaced : {false, true}) {  // another process holds it and replaces the file
        SCOPED_TRACE(replaced);
        std::ofstream(path) << "old";
        pid_t child = replaced ? HoldThenReplace(path) : 0;
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

TEST(Replacement, NamedOnesLandWhereNothingIsOrOverTheArchiveAndLeftoversGo) {
    char folder[] = "/tmp/replacement_testXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/a.zip", theirs = path + ".Ab12Cd";
    Replacement first, second, left, over;
    for (Replacement *r : {&first, &second, &left}) ASSERT_TRUE(CreateNamedReplacement(path.c_str(), 0644, r));
    EXPECT_TRUE(CommitReplacement(&first, path.c_str(), false));
    EXPECT_FALSE(CommitReplacement(&second, path.c_str(), false));
    EXPECT_EQ(errno, EEXIST);
    close(left.descriptor);  // a killed writer's, beside another program's file
    std::ofstream(theirs) << "theirs";
    RemoveLeftovers(path.c_str());
    EXPECT_NE(access(left.name, F_OK), 0);
    ASSERT_TRUE(CreateNamedReplacement(path.c_str(), 0644, &over));
    EXPECT_TRUE(CommitReplacement(&over, path.c_str(), true));
    for (const std::string &name : {path, theirs}) EXPECT_EQ(std::remove(name.c_str()), 0);
    EXPECT_EQ(rmdir(folder), 0);
}

}  // namespace
