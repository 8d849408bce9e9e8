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

// The /proc link of descriptor: the only way to name an unnamed file
// without privileges.
struct ProcLink {
    explicit ProcLink(int descriptor) { std::snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor); }
    char path[sizeof "/proc/self/fd/" + 3 * sizeof(int)];
};

// Whether the unnamed file at descriptor can be named at commit: its /proc
// link must lead to it, which a sandbox without /proc does not allow.
bool CanNameUnnamed(int descriptor) {
    struct stat linked, opened;
    return stat(ProcLink(descriptor).path, &linked) == 0 && fstat(descriptor, &opened) == 0 &&
           linked.st_dev == opened.st_dev && linked.st_ino == opened.st_ino;
}

// Gives the unnamed replacement the name at (it must not exist).
bool NameUnnamed(const Replacement *replacement, const char *at) {
    return linkat(AT_FDCWD, ProcLink(replacement->descriptor).path, AT_FDCWD, at, AT_SYMLINK_FOLLOW) == 0;
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
    replacement->descriptor = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (replacement->descriptor < 0)
        return UnnamedUnsupported(errno) && CreateNamedReplacement(path, mode, replacement);
    if (CanNameUnnamed(replacement->descriptor)) return true;
    close(replacement->descriptor);  // it could never be named
    return CreateNamedReplacement(path, mode, replacement);
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
