#include "core/file_identity.h"

#include <sys/stat.h>

#include <cerrno>

namespace {

// The identity of what stat(2) or fstat(2) reported; false unless a regular file.
bool IdentityOf(const struct stat &status, FileIdentity *identity) {
    if (!S_ISREG(status.st_mode)) return false;
    *identity = FileIdentity{status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
    return true;
}

bool SameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

bool IdentifyFile(const char *path, FileIdentity *identity) {
    struct stat status;
    return stat(path, &status) == 0 && IdentityOf(status, identity);
}

bool IdentifyOpenFile(int descriptor, FileIdentity *identity) {
    struct stat status;
    return fstat(descriptor, &status) == 0 && IdentityOf(status, identity);
}

bool SameFile(const FileIdentity &a, const FileIdentity &b) { return a.device == b.device && a.inode == b.inode; }

bool Unchanged(const FileIdentity &a, const FileIdentity &b) {
    return SameFile(a, b) && a.size == b.size && SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

bool PathNamesFile(const char *path, const FileIdentity &identity) {
    FileIdentity other;
    return IdentifyFile(path, &other) && SameFile(other, identity);
}

bool NamesOtherThanFile(const char *path) {
    struct stat status;
    return stat(path, &status) == 0 && !S_ISREG(status.st_mode);
}

bool PathNamesNothing(const char *path) {
    struct stat status;
    return stat(path, &status) != 0 && errno == ENOENT;
}
