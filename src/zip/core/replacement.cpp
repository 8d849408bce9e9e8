#include "core/replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/folder.h"

namespace {

constexpr char kMark[] = ".orp-new-";
constexpr size_t kRandomLength = 6;
constexpr char kRandomLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
// Names tried before a named replacement gives up.
constexpr int kNameTries = 100;

// Writes "<folder>/.<base>.orp-new-" for the archive at path into name;
// its length, or 0 with errno ENAMETOOLONG when it does not fit beside the
// random letters.
size_t NamePrefix(const char *path, char *name, size_t size) {
    char folder[PATH_MAX];
    if (!FolderName(path, folder, sizeof folder)) return 0;
    int length = std::snprintf(name, size, "%s/.%s%s", folder, LastNamePart(path), kMark);
    if (length > 0 && static_cast<size_t>(length) + kRandomLength < size) return static_cast<size_t>(length);
    errno = ENAMETOOLONG;
    return 0;
}

// Fills the random letters after prefix length of name and ends it.
void PickRandomName(char *name, size_t length) {
    unsigned char bytes[kRandomLength] = {};
    getrandom(bytes, sizeof bytes, 0);
    for (size_t i = 0; i < kRandomLength; i++)
        name[length + i] = kRandomLetters[bytes[i] % (sizeof kRandomLetters - 1)];
    name[length + kRandomLength] = '\0';
}

// Writes random names after the prefix for path into replacement->name
// until take succeeds with one; false when take fails other than for a
// name in use (EEXIST), or every try found its name in use.
template <typename Take>
bool TryRandomNames(const char *path, Replacement *replacement, Take take) {
    size_t length = NamePrefix(path, replacement->name, sizeof replacement->name);
    if (length == 0) return false;
    for (int tries = 0; tries < kNameTries; tries++) {
        PickRandomName(replacement->name, length);
        if (take()) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Whether O_TMPFILE failed because this file system cannot make unnamed files.
bool UnnamedUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Whether an unnamed file could be named at commit: that goes through /proc,
// which a sandbox may not mount.
bool CanNameUnnamed() { return access("/proc/self/fd", X_OK) == 0; }

// Gives the unnamed replacement the name at (it must not exist) through
// /proc, the only way to name such a file without privileges.
bool NameUnnamed(const Replacement *replacement, const char *at) {
    char self[sizeof "/proc/self/fd/" + 3 * sizeof(int)];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", replacement->descriptor);
    return linkat(AT_FDCWD, self, AT_FDCWD, at, AT_SYMLINK_FOLLOW) == 0;
}

// Puts the unnamed replacement in place of path: where nothing is, by
// naming it path at once; over the archive, through a distinctive name.
bool LandUnnamed(Replacement *replacement, const char *path, bool replace) {
    if (!replace) return NameUnnamed(replacement, path);
    if (!TryRandomNames(path, replacement, [&] { return NameUnnamed(replacement, replacement->name); }))
        return false;
    replacement->named = true;
    return rename(replacement->name, path) == 0;
}

}  // namespace

bool CreateReplacement(const char *path, unsigned mode, Replacement *replacement) {
    char folder[PATH_MAX];
    if (!FolderName(path, folder, sizeof folder)) return false;
    replacement->named = false;
    if (!CanNameUnnamed()) return CreateNamedReplacement(path, mode, replacement);
    replacement->descriptor = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (replacement->descriptor >= 0) return true;
    return UnnamedUnsupported(errno) && CreateNamedReplacement(path, mode, replacement);
}

bool CreateNamedReplacement(const char *path, unsigned mode, Replacement *replacement) {
    auto create = [&] {
        replacement->descriptor = open(replacement->name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        return replacement->descriptor >= 0;
    };
    if (!TryRandomNames(path, replacement, create)) return false;
    replacement->named = true;
    return true;
}

bool CommitReplacement(Replacement *replacement, const char *path, bool replace) {
    const char *name = replacement->name;
    bool landed;
    if (!replacement->named)
        landed = LandUnnamed(replacement, path, replace);
    else if (replace)
        landed = rename(name, path) == 0;
    else
        landed = renameat2(AT_FDCWD, name, AT_FDCWD, path, RENAME_NOREPLACE) == 0;
    if (landed) replacement->named = false;  // the name is the archive's now
    DiscardReplacement(replacement);
    return landed;
}

void DiscardReplacement(Replacement *replacement) {
    int error = errno;
    if (replacement->named) unlink(replacement->name);
    replacement->named = false;
    if (replacement->descriptor >= 0) close(replacement->descriptor);
    replacement->descriptor = -1;
    errno = error;
}

void RemoveLeftovers(const char *path) {
    char prefix[PATH_MAX];
    if (NamePrefix(path, prefix, sizeof prefix) == 0) return;
    int folder = OpenFolderOf(path);
    DIR *listing = folder >= 0 ? fdopendir(folder) : nullptr;
    if (!listing) {
        if (folder >= 0) close(folder);
        return;
    }
    const char *mark = std::strrchr(prefix, '/') + 1;
    const size_t markLength = std::strlen(mark);
    while (const dirent *entry = readdir(listing)) {
        struct stat status;
        bool match = std::strlen(entry->d_name) == markLength + kRandomLength &&
                     std::strncmp(entry->d_name, mark, markLength) == 0;
        if (match && fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            unlinkat(folder, entry->d_name, 0);
    }
    closedir(listing);
}
