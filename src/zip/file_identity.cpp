#include "file_identity.h"

#include <sys/stat.h>

bool IdentifyFile(const char *path, FileIdentity *identity) {
    struct stat status;
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    *identity = FileIdentity{status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
    return true;
}

bool SameFile(const FileIdentity &a, const FileIdentity &b) { return a.device == b.device && a.inode == b.inode; }

bool PathNamesFile(const char *path, const FileIdentity &identity) {
    FileIdentity other;
    return IdentifyFile(path, &other) && SameFile(other, identity);
}

bool NamesOtherThanFile(const char *path) {
    struct stat status;
    return stat(path, &status) == 0 && !S_ISREG(status.st_mode);
}
