#include "core/folder.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>

int OpenFolderOf(const char *path) {
    const char *slash = std::strrchr(path, '/');
    if (!slash) return open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    char folder[PATH_MAX];
    if (length >= sizeof folder) return -1;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool SyncFolderOf(const char *path) {
    int folder = OpenFolderOf(path);
    if (folder < 0) return false;
    bool synced = fsync(folder) == 0;
    close(folder);
    return synced;
}
