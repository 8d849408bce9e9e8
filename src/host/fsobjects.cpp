#include "fsobjects.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

#include "adapters.h"
#include "info.h"

namespace fsobjects {

// One open directory scan.
struct Dir {
    const FileAdapter *adapter = nullptr;  // the adapter serving it, or NULL
    void *handle = nullptr;                // the adapter's handle
    const char *adapterName = nullptr;     // the name the adapter gave (OpenDir tag 2)
    DIR *real = nullptr;                   // the real directory stream, or NULL
    std::string path;                      // the path it was opened under
    std::string entryName;                 // name of the entry last returned (real scans)
};

namespace {

// The open scans that adapters serve, so that the host can tell why an
// adapter refuses to write into an archive.
std::vector<Dir *> adapterScans;

// Calls op on each installed adapter until one gives a nonzero result;
// returns that result, or 0 when every adapter declined.
template <typename Op>
int OfferToAdapters(Op op) {
    for (const auto &adapter : adapters::Installed())
        if (int result = op(*adapter)) return result;
    return 0;
}

// The path of the object newName in the directory of path.
std::string Sibling(const char *path, const char *newName) {
    std::string full = path;
    size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string(newName) : full.substr(0, slash + 1) + newName;
}

// Sets the modification time of a real file; false on failure.
bool SetRealTime(const char *path, const DateRecord &date) {
    time_t t = info::FromDateRecord(date);
    if (t == -1) return false;
    struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
    return utimensat(AT_FDCWD, path, times, 0) == 0;
}

}  // namespace

Dir *OpenDir(const char *path) {
    const char *adapterName = nullptr;
    TagItem tags[] = {{OPENDIRTAG_NAME, reinterpret_cast<uintptr_t>(&adapterName)}, {TAG_DONE, 0}};
    for (const auto &adapter : adapters::Installed()) {
        void *handle = adapter->opendir(path, nullptr, tags);
        if (handle == nullptr) continue;
        Dir *dir = new Dir;
        dir->adapter = adapter.get();
        dir->handle = handle;
        dir->adapterName = adapterName;
        dir->path = path;
        adapterScans.push_back(dir);
        return dir;
    }
    DIR *real = opendir(path);
    if (real == nullptr) return nullptr;
    Dir *dir = new Dir;
    dir->real = real;
    dir->path = path;
    return dir;
}

bool Next(Dir *dir, FSObjInfo *record) {
    *record = {};
    if (dir->adapter) return dir->adapter->nextDirEntry(dir->handle, record) != 0;
    while (struct dirent *entry = readdir(dir->real)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        struct stat st;
        if (fstatat(dirfd(dir->real), name, &st, 0) != 0 &&
            fstatat(dirfd(dir->real), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        dir->entryName = name;
        info::FromStat(st, dir->entryName.c_str(), record);
        return true;
    }
    return false;
}

bool Rewind(Dir *dir) {
    if (dir->adapter) return dir->adapter->rewindDir(dir->handle) != 0;
    rewinddir(dir->real);
    return true;
}

bool StatDir(Dir *dir, int flags, FSObjInfo *record) {
    *record = {};
    if (dir->adapter) return dir->adapter->statDir(dir->handle, flags, record) != 0;
    struct stat st;
    if (fstat(dirfd(dir->real), &st) != 0) return false;
    info::FromStat(st, dir->path.c_str(), record);
    return true;
}

void CloseDir(Dir *dir) {
    if (dir->adapter) {
        dir->adapter->closeDir(dir->handle);
        std::erase(adapterScans, dir);
    }
    if (dir->real) closedir(dir->real);
    delete dir;
}

bool ScanOpenWithin(const char *archive) {
    size_t length = strlen(archive);
    for (const Dir *dir : adapterScans) {
        const std::string &path = dir->path;
        if (path.compare(0, length, archive) == 0 && (path.size() == length || path[length] == '/')) return true;
    }
    return false;
}

const char *ServedBy(const Dir *dir) { return dir->adapter ? dir->adapterName : nullptr; }

bool NameIsOwned(const Dir *dir, int flags) { return dir->adapter && (flags & FSOBJ_FULLNAME); }

bool Stat(const char *path, int flags, FSObjInfo *record, bool *nameOwned) {
    *record = {};
    *nameOwned = false;
    if (OfferToAdapters([&](const FileAdapter &a) { return a.stat(path, flags, record); })) {
        *nameOwned = (flags & FSOBJ_FULLNAME) != 0;
        return true;
    }
    *record = {};
    struct stat st;
    if (stat(path, &st) != 0) return false;
    info::FromStat(st, path, record);
    return true;
}

bool MakeDir(const char *path) {
    if (OfferToAdapters([&](const FileAdapter &a) { return a.makeDir(path); })) return true;
    return mkdir(path, 0777) == 0;
}

bool Delete(const char *path) {
    if (OfferToAdapters([&](const FileAdapter &a) { return a.deleteFSObj(path); })) return true;
    return remove(path) == 0;
}

bool Rename(const char *path, const char *newName) {
    if (OfferToAdapters([&](const FileAdapter &a) { return a.renameFSObj(path, newName); })) return true;
    return rename(path, Sibling(path, newName).c_str()) == 0;
}

int Move(const char *path, const char *destination) {
    if (int result = OfferToAdapters([&](const FileAdapter &a) { return a.moveFSObj(path, destination); }))
        return result > 0 ? 1 : -1;
    return rename(path, destination) == 0 ? 1 : 0;
}

bool SetAttributes(const char *path, int flags, const FSObjInfo *attributes) {
    if (OfferToAdapters([&](const FileAdapter &a) { return a.setFSObjAttributes(path, flags, attributes); }))
        return true;
    // The real file system keeps no comments: a comment asked for cannot be set.
    if (flags & FSOBJ_SETCOMMENT) return false;
    if (flags & FSOBJ_SETTIME) return SetRealTime(path, attributes->modified);
    // Nothing to set: true only for something that is there.
    struct stat st;
    return stat(path, &st) == 0;
}

}  // namespace fsobjects
