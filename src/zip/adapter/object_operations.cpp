// Changing objects inside archives: make directory, delete, rename, move,
// set attributes. Each change opens the archive, applies itself and writes
// the archive back at once; a deletion in a scanned archive waits for the
// scan's release.
#include <cstring>

#include "adapter/archive_access.h"
#include "adapter/archive_cache.h"
#include "adapter/paths.h"
#include "adapter/registry.h"
#include "bounded.h"
#include "entry_metadata.h"
#include "host.h"
#include "library/dates.h"
#include "library/name_lookup.h"

namespace {

enum class Operation { MakeDir, Delete, Rename, Move, SetAttributes };

constexpr size_t kMaxComment = 65535;

// What an operation works on.
struct Target {
    zip_t *archive;      // the archive, opened for the change
    char *inner;         // the object's inner path (room for one more '/')
    zip_int64_t index;   // the object's own entry, or -1 for an implicit directory
    bool directory;      // the object is a directory
};

// Finds the object's own entry: a file of that name, else a directory
// entry. Returns its index or -1; sets *directory for the latter.
zip_int64_t FindOwnEntry(zip_t *archive, char *inner, bool *directory) {
    zip_int64_t index = LocateName(archive, inner, ZIP_FL_NOCASE);
    *directory = false;
    if (index >= 0) return index;
    size_t length = std::strlen(inner);
    std::strcpy(inner + length, "/");
    index = LocateName(archive, inner, ZIP_FL_NOCASE);
    inner[length] = '\0';
    *directory = index >= 0;
    return index;
}

// Whether some entry lies inside the directory prefix (ending in '/').
bool AnyEntryInside(zip_t *archive, const char *prefix) {
    zip_int64_t count = zip_get_num_entries(archive, 0);
    int length = static_cast<int>(std::strlen(prefix));
    for (zip_int64_t i = 0; i < count; i++) {
        const char *name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name && host::CompareNoCaseN(name, prefix, length) == 0) return true;
    }
    return false;
}

// Finds the object for the operation; false when there is none.
bool FindTarget(Target *target, Operation operation) {
    target->index = FindOwnEntry(target->archive, target->inner, &target->directory);
    if (target->index >= 0) return true;
    if (operation != Operation::Rename && operation != Operation::Move) return false;
    char prefix[kPathBufferSize + 1];
    CopyBounded(prefix, sizeof prefix, target->inner);
    std::strcat(prefix, "/");
    target->directory = AnyEntryInside(target->archive, prefix);
    return target->directory;
}

// A directory is made only where no file or directory of that name exists,
// in any case: the adapter finds names ignoring case, so a second spelling
// could never be reached.
bool MakeDirectory(Target *target) {
    bool directory;
    if (FindOwnEntry(target->archive, target->inner, &directory) >= 0) return false;
    zip_int64_t index = zip_dir_add(target->archive, target->inner, ZIP_FL_ENC_UTF_8);
    return index >= 0 && SetEntryUnixMode(target->archive, static_cast<zip_uint64_t>(index), true, kDirectoryMode);
}

// Gives the entry at index its new name.
bool RenameEntry(zip_t *archive, zip_uint64_t index, const char *name) {
    return zip_file_rename(archive, index, name, ZIP_FL_ENC_UTF_8) == 0;
}

// The new path of an object: for a rename its directory part joined with
// newName, for a move the destination's inner path. False if it does not fit.
bool NewPath(const char *inner, Operation operation, const char *second, char *out) {
    if (operation == Operation::Move) return CopyBounded(out, kPathBufferSize, second);
    CopyBounded(out, kPathBufferSize, inner);
    *host::GetPathEnd(out) = '\0';
    return host::AppendPathPart(out, second, kPathBufferSize);
}

// Renames every entry inside the directory (its own entry included) from
// the old prefix to the new one; all or nothing, since the caller discards
// the archive on failure.
bool MoveDirectory(Target *target, const char *newPath) {
    char oldPrefix[kPathBufferSize + 1];
    CopyBounded(oldPrefix, sizeof oldPrefix, target->inner);
    std::strcat(oldPrefix, "/");
    int length = static_cast<int>(std::strlen(oldPrefix));
    zip_int64_t count = zip_get_num_entries(target->archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char *name = zip_get_name(target->archive, static_cast<zip_uint64_t>(i), 0);
        if (!name || host::CompareNoCaseN(name, oldPrefix, length) != 0) continue;
        char moved[kPathBufferSize];
        bool fits = CopyBounded(moved, sizeof moved, newPath) && AppendBounded(moved, sizeof moved, "/") &&
                    AppendBounded(moved, sizeof moved, name + length);
        if (!fits || !RenameEntry(target->archive, static_cast<zip_uint64_t>(i), moved)) return false;
    }
    return true;
}

// A new last component must be one component.
bool IsPlainName(const char *name) { return name && *name && !std::strpbrk(name, "/\\"); }

// Renames or moves the object to second.
bool RenameOrMove(Target *target, Operation operation, const char *second) {
    if (operation == Operation::Rename && !IsPlainName(second)) return false;
    char newPath[kPathBufferSize];
    if (!NewPath(target->inner, operation, second, newPath)) return false;
    if (target->directory) return MoveDirectory(target, newPath);
    return RenameEntry(target->archive, static_cast<zip_uint64_t>(target->index), newPath);
}

// Sets the comment (flag 4), then the time (flag 2); a refused comment
// leaves the time alone, and the caller discards both.
bool SetAttributes(Target *target, int flags, const FSObjInfo *attributes) {
    auto index = static_cast<zip_uint64_t>(target->index);
    if (flags & FSOBJ_SETCOMMENT) {
        const char *comment = attributes->comment ? attributes->comment : "";
        size_t length = std::strlen(comment);
        if (length > kMaxComment) return false;
        if (zip_file_set_comment(target->archive, index, comment, static_cast<zip_uint16_t>(length), 0) != 0) return false;
    }
    if (flags & FSOBJ_SETTIME) {
        time_t time;
        if (DateRecordToTime(&attributes->modified, &time) == -1) return false;
        if (SetEntryModTime(target->archive, index, time) != TimeResult::Set) return false;
    }
    return true;
}

// Applies the operation to the target.
bool Apply(Target *target, Operation operation, const char *second, int flags, const FSObjInfo *attributes) {
    switch (operation) {
        case Operation::MakeDir: return MakeDirectory(target);
        case Operation::Delete: return zip_delete(target->archive, static_cast<zip_uint64_t>(target->index)) == 0;
        case Operation::Rename:
        case Operation::Move: return RenameOrMove(target, operation, second);
        case Operation::SetAttributes: return SetAttributes(target, flags, attributes);
    }
    return false;
}

// Files a deletion with the scan that holds the archive.
int DeferDeletion(ZipDirHandle *record, char *inner) {
    ZipDirHandle *root = RootOf(record);
    bool directory;
    zip_int64_t index = FindOwnEntry(root->archive, inner, &directory);
    if (index < 0) return 0;
    return FileDeferredDeletion(root, static_cast<zip_uint64_t>(index));
}

// The shared body of the changing entry points; see the table of results
// at each entry point.
int ChangeFSObj(Operation operation, const char *path, const char *second, int flags, const FSObjInfo *attributes) {
    ArchivePath split, destination;
    if (!SplitArchivePath(path, &split, false) || split.inner[0] == '\0') return 0;
    if (operation == Operation::Move) {
        if (!SplitArchivePath(second, &destination, false) || destination.inner[0] == '\0') return 0;
        if (!NameSameArchive(split.archive, destination.archive)) return -1;
        second = destination.inner;
    }
    if (ZipDirHandle *record = FindZipDirHandle(split.archive)) {
        return operation == Operation::Delete ? DeferDeletion(record, split.inner) : 0;
    }
    Target target{OpenArchiveForChange(split.archive), split.inner, -1, false};
    if (!target.archive) return 0;
    bool applied = (operation == Operation::MakeDir || FindTarget(&target, operation)) &&
                   Apply(&target, operation, second, flags, attributes);
    if (!applied) {
        zip_discard(target.archive);
        return 0;
    }
    bool written = WriteArchiveBack(target.archive);
    ForgetArchive(split.archive);
    return written ? 1 : 0;
}

}  // namespace

ZIP_EXPORT int MakeDir(const char *path) { return ChangeFSObj(Operation::MakeDir, path, nullptr, 0, nullptr); }

ZIP_EXPORT int DeleteFSObj(const char *path) { return ChangeFSObj(Operation::Delete, path, nullptr, 0, nullptr); }

ZIP_EXPORT int RenameFSObj(const char *path, const char *newName) {
    return ChangeFSObj(Operation::Rename, path, newName, 0, nullptr);
}

ZIP_EXPORT int MoveFSObj(const char *path, const char *destination) {
    return ChangeFSObj(Operation::Move, path, destination, 0, nullptr);
}

ZIP_EXPORT int SetFSObjAttributes(const char *path, int flags, const FSObjInfo *attributes) {
    if (!attributes) return 0;
    return ChangeFSObj(Operation::SetAttributes, path, nullptr, flags, attributes);
}
