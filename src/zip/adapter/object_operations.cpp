// Changing objects inside archives: make directory, delete, rename, move,
// set attributes. Each change opens the archive, applies itself and writes
// the archive back at once; a deletion in a scanned archive waits for the
// scan's release.
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/archive_access.h"
#include "adapter/archive_cache.h"
#include "adapter/entry_names.h"
#include "adapter/paths.h"
#include "adapter/registry.h"
#include "core/bounded.h"
#include "core/entry_metadata.h"

namespace {

enum class Operation { MakeDir, Delete, Rename, Move, SetAttributes };

// What an operation works on.
struct Target {
    zip_t *archive;      // the archive, opened for the change
    char *inner;         // the object's inner path (room for one more '/')
    zip_int64_t index;   // the object's own entry, or -1 for an implicit directory
    bool directory;      // the object is a directory
    char folder[kPathBufferSize + 1];  // a directory's path as stored, with its '/'
};

// Finds the folder inner names, as lookups do: the lowest entry inside the
// folder spelled exactly as inner wins, else (unless exactOnly) the lowest
// inside it ignoring case. Its stored path with the '/' goes to folder, so
// that only that folder is changed. False when no entry the adapter serves
// lies inside.
bool FindFolder(zip_t *archive, const char *inner, char *folder, bool exactOnly) {
    char query[kPathBufferSize + 1];
    if (!CopyBounded(query, sizeof query, inner) || !AppendBounded(query, sizeof query, "/")) return false;
    size_t length = std::strlen(query);
    const char *found = nullptr;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char *name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (!name || !IsServedName(name)) continue;
        if (BeginsWithName(name, query, length, false)) {
            found = name;
            break;
        }
        if (!found && !exactOnly && BeginsWithName(name, query, length, true)) found = name;
    }
    if (!found) return false;
    std::memcpy(folder, found, length);
    folder[length] = '\0';
    WriteSeparators(folder);
    return true;
}

// Makes the target the folder found in folder, with its own entry if it
// has one.
void TakeFolder(Target *target) {
    bool exact;
    target->directory = true;
    target->index = FindEntry(target->archive, target->folder, &exact);
    if (!exact) target->index = -1;
}

// Finds the object for the operation, preferring a file or folder spelled
// exactly as asked; false when there is none. Only a rename or a move takes
// a folder without an entry of its own.
bool FindTarget(Target *target, Operation operation) {
    bool exact;
    zip_int64_t file = FindEntry(target->archive, target->inner, &exact);
    target->directory = false;
    target->index = file;
    if (file >= 0 && exact) return true;
    if (FindFolder(target->archive, target->inner, target->folder, true)) {
        TakeFolder(target);
    } else if (file < 0 && FindFolder(target->archive, target->inner, target->folder, false)) {
        TakeFolder(target);
    }
    return target->index >= 0 || (target->directory && (operation == Operation::Rename || operation == Operation::Move));
}

// A directory is made only where no file or directory entry of that name
// exists, in any case (the adapter finds names ignoring case, so a second
// spelling could not be reached), and not below a file.
bool MakeDirectory(Target *target) {
    size_t length = std::strlen(target->inner);
    if (length > 0 && target->inner[length - 1] == '/') target->inner[length - 1] = '\0';
    if (!IsSoundNewName(target->inner) || FindEntry(target->archive, target->inner) >= 0) return false;
    std::strcat(target->inner, "/");
    bool exists = FindEntry(target->archive, target->inner) >= 0;
    target->inner[length] = '\0';
    if (exists || ClashesWithEntries(target->archive, target->inner, true, MovingEntries{-1, nullptr})) return false;
    zip_int64_t index = zip_dir_add(target->archive, target->inner, ZIP_FL_ENC_UTF_8);
    return index >= 0 && SetEntryUnixMode(target->archive, static_cast<zip_uint64_t>(index), true, kDirectoryMode);
}

// Gives the entry at index its new name.
bool RenameEntry(zip_t *archive, zip_uint64_t index, const char *name) {
    return zip_file_rename(archive, index, name, ZIP_FL_ENC_UTF_8) == 0;
}

// The new path of an object: for a rename the folder the object is stored
// in joined with newName, for a move the destination's inner path. False if
// it does not fit.
bool NewPath(const Target *target, Operation operation, const char *second, char *out) {
    if (operation == Operation::Move) return CopyBounded(out, kPathBufferSize, second);
    const char *stored = target->directory ? target->folder : zip_get_name(target->archive, static_cast<zip_uint64_t>(target->index), 0);
    if (!stored || !CopyBounded(out, kPathBufferSize, stored)) return false;
    WriteSeparators(out);
    size_t length = std::strlen(out);
    if (target->directory) out[--length] = '\0';
    char *slash = std::strrchr(out, '/');
    *(slash ? slash + 1 : out) = '\0';
    return AppendBounded(out, kPathBufferSize, second);
}

// Renames every entry the adapter serves inside the target folder (its own
// entry included) to the new path; all or nothing, since the caller
// discards the archive on failure.
bool MoveDirectory(Target *target, const char *newPath) {
    size_t length = std::strlen(target->folder);
    zip_int64_t count = zip_get_num_entries(target->archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char *name = zip_get_name(target->archive, static_cast<zip_uint64_t>(i), 0);
        if (!name || !IsServedName(name) || !BeginsWithName(name, target->folder, length, false)) continue;
        char moved[kPathBufferSize];
        bool fits = CopyBounded(moved, sizeof moved, newPath) && AppendBounded(moved, sizeof moved, "/") &&
                    AppendBounded(moved, sizeof moved, name + length);
        if (!fits) return false;
        WriteSeparators(moved);
        if (!RenameEntry(target->archive, static_cast<zip_uint64_t>(i), moved)) return false;
    }
    return true;
}

// Whether a folder would land inside itself, or onto another folder (which
// would merge the two), as a file system refuses.
bool FolderMoveRefused(const Target *target, const char *newPath) {
    char newFolder[kPathBufferSize + 1];
    if (!CopyBounded(newFolder, sizeof newFolder, newPath) || !AppendBounded(newFolder, sizeof newFolder, "/")) return true;
    if (BeginsWithName(newFolder, target->folder, std::strlen(target->folder), false)) return true;
    char other[kPathBufferSize + 1];
    return FindFolder(target->archive, newPath, other, false) && !SameName(other, target->folder, false);
}

// A new last component must be one component.
bool IsPlainName(const char *name) { return name && *name && !std::strpbrk(name, "/\\"); }

// Renames or moves the object to second, when the new name is sound and
// leaves no file and folder sharing a name.
bool RenameOrMove(Target *target, Operation operation, const char *second) {
    if (operation == Operation::Rename && !IsPlainName(second)) return false;
    char newPath[kPathBufferSize];
    if (!NewPath(target, operation, second, newPath) || !IsSoundNewName(newPath)) return false;
    MovingEntries moving{target->directory ? -1 : target->index, target->directory ? target->folder : nullptr};
    if (ClashesWithEntries(target->archive, newPath, target->directory, moving)) return false;
    if (!target->directory) return RenameEntry(target->archive, static_cast<zip_uint64_t>(target->index), newPath);
    return !FolderMoveRefused(target, newPath) && MoveDirectory(target, newPath);
}

// Sets the comment (FSOBJ_SETCOMMENT), then the time (FSOBJ_SETTIME); a
// refused comment leaves the time alone, and the caller discards both.
bool SetAttributes(Target *target, int flags, const FSObjInfo *attributes) {
    auto index = static_cast<zip_uint64_t>(target->index);
    if (flags & FSOBJ_SETCOMMENT) {
        const char *comment = attributes->comment ? attributes->comment : "";
        if (SetEntryCommentText(target->archive, index, comment, std::strlen(comment), 0) != MetadataResult::Set)
            return false;
    }
    return !(flags & FSOBJ_SETTIME) || SetEntryDate(target->archive, index, attributes->modified) == MetadataResult::Set;
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

// Files a deletion with the scan that holds the archive; false when there
// is nothing to delete or no memory.
bool DeferDeletion(ZipDirHandle *record, char *inner) {
    ZipDirHandle *root = RootOf(record);
    Target target{root->archive, inner, -1, false, ""};
    return FindTarget(&target, Operation::Delete) && FileDeferredDeletion(root, static_cast<zip_uint64_t>(target.index));
}

// The shared body of the changing entry points; their results are those
// adapter.h gives for them.
int ChangeFSObj(Operation operation, const char *path, const char *second, int flags, const FSObjInfo *attributes) {
    ArchivePath split, destination;
    if (!SplitArchivePath(path, &split, false) || split.inner[0] == '\0' || !IsServedName(split.inner)) return 0;
    if (operation == Operation::Move) {
        if (!SplitArchivePath(second, &destination, false) || destination.inner[0] == '\0') return 0;
        if (!NameSameArchive(split.archive, destination.archive)) return -1;
        second = destination.inner;
    }
    if (ZipDirHandle *record = FindZipDirHandle(split.archive)) {
        return operation == Operation::Delete && DeferDeletion(record, split.inner) ? 1 : 0;
    }
    Target target{OpenForChangeThroughWritableFile(split.archive), split.inner, -1, false, ""};
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
