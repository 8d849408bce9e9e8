#include "core/folder.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool FolderName(const char *path, char *folder, size_t size) {
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? path : ".";
    size_t length = !slash ? 1 : slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= size) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(folder, name, length);
    folder[length] = '\0';
    return true;
}

const char *LastNamePart(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

int OpenFolderOf(const char *path) {
    char folder[PATH_MAX];
    if (!FolderName(path, folder, sizeof folder)) return -1;
    return open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void SyncFolderOf(const char *path) {
    int folder = OpenFolderOf(path);
    if (folder < 0) return;
    fsync(folder);
    close(folder);
}
