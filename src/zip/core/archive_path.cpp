#include "core/archive_path.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/folder.h"

namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMostLinks = 40;

// Whether the kernel's fs.protected_symlinks would follow the link path,
// whose lstat(2) is link.
bool MayFollow(const char *path, const struct stat &link) {
    char folder[PATH_MAX];
    struct stat holder;
    if (!FolderName(path, folder, sizeof folder) || stat(folder, &holder) != 0) return false;
    bool shared = (holder.st_mode & S_ISVTX) && (holder.st_mode & S_IWOTH);
    return !shared || link.st_uid == holder.st_uid || link.st_uid == geteuid();
}

// Replaces the link path (size bytes) with what it points to: a relative
// target is taken from the link's folder. False with errno when the link
// cannot be read or the result does not fit.
bool FollowLink(char *path, size_t size) {
    char target[PATH_MAX];
    ssize_t length = readlink(path, target, sizeof target);
    if (length < 0) return false;
    errno = ENAMETOOLONG;
    if (static_cast<size_t>(length) >= sizeof target) return false;
    target[length] = '\0';
    char *slash = std::strrchr(path, '/');
    size_t kept = target[0] == '/' || !slash ? 0 : static_cast<size_t>(slash - path) + 1;
    if (kept + static_cast<size_t>(length) >= size) return false;
    std::memcpy(path + kept, target, static_cast<size_t>(length) + 1);
    return true;
}

}  // namespace

bool ResolveArchivePath(const char *path, char *resolved, size_t size) {
    if (std::strlen(path) >= size) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::strcpy(resolved, path);
    for (int links = 0;; links++) {
        struct stat status;
        if (lstat(resolved, &status) != 0) return errno == ENOENT && links == 0;
        if (!S_ISLNK(status.st_mode)) return true;
        if (links == kMostLinks || !MayFollow(resolved, status)) {
            errno = links == kMostLinks ? ELOOP : EACCES;
            return false;
        }
        if (!FollowLink(resolved, size)) return false;
    }
}
