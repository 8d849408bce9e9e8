#include "adapter/registry.h"

#include <cstring>

#include "adapter/archive_access.h"
#include "core/file_identity.h"
#include "host.h"

namespace {

// Deferred deletions are filed in steps of this many.
constexpr uint32_t kDeletionGrowth = 1024;

ZipDirHandle *gScans;  // the open scans, in opening order

// Whether two paths that differ in their spelling name one file (the
// registry must never let one file's scan serve another file).
bool NameSameFile(const char *a, const char *b) {
    FileIdentity first;
    return IdentifyFile(a, &first) && PathNamesFile(b, first);
}

// Removes record from the registry list.
void UnlinkZipDirHandle(ZipDirHandle *record) {
    for (ZipDirHandle **link = &gScans; *link; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            return;
        }
    }
}

// Deletes in fresh (the archive as it is on disk now) the entry that index
// named in the root's view, if fresh still holds it. The file may have been
// rewritten since the deletion was filed, so an index is used only while it
// still carries the same name.
void DeleteSameEntry(zip_t *fresh, zip_t *view, zip_uint64_t index) {
    const char *name = zip_get_name(view, index, ZIP_FL_ENC_RAW);
    if (!name) return;
    const char *now = zip_get_name(fresh, index, ZIP_FL_ENC_RAW);
    if (now && std::strcmp(now, name) == 0) {
        zip_delete(fresh, index);
        return;
    }
    zip_int64_t moved = zip_name_locate(fresh, name, ZIP_FL_ENC_RAW);
    if (moved >= 0) zip_delete(fresh, static_cast<zip_uint64_t>(moved));
}

// Runs the root's deferred deletions on the archive file as it is now.
// Deletions that cannot be made are dropped: nobody is left to report to.
void RunDeferredDeletions(ZipDirHandle *root) {
    zip_t *fresh = OpenForChangeThroughWritableFile(root->archivePath);
    if (!fresh) return;
    for (uint32_t i = 0; i < root->pendingCount; i++) DeleteSameEntry(fresh, root->archive, root->pendingDeletions[i]);
    WriteArchiveBack(fresh);
    ForgetArchive(root->archivePath);
}

// Gives back a root's archive after running its deferred deletions.
void CloseRootArchive(ZipDirHandle *root) {
    if (root->pendingCount > 0) RunDeferredDeletions(root);
    ReleaseArchive(root->cached);
    root->cached = nullptr;
    root->archive = nullptr;
    host::FreeMemory(root->pendingDeletions);
    root->pendingDeletions = nullptr;
}

}  // namespace

bool NameSameArchive(const char *a, const char *b) { return std::strcmp(a, b) == 0 || NameSameFile(a, b); }

ZipDirHandle *FindZipDirHandle(const char *archivePath) {
    for (ZipDirHandle *record = gScans; record; record = record->next) {
        if (NameSameArchive(record->archivePath, archivePath)) return record;
    }
    return nullptr;
}

bool AnyScanOpen() { return gScans != nullptr; }

ZipDirHandle *RootOf(ZipDirHandle *record) { return record->parent ? record->parent : record; }

void RegisterZipDirHandle(ZipDirHandle *record) {
    ZipDirHandle **link = &gScans;
    while (*link) link = &(*link)->next;
    *link = record;
}

void ReleaseZipDirHandle(ZipDirHandle *record) {
    if (--record->references > 0) return;
    if (record->parent) {
        ReleaseZipDirHandle(record->parent);
    } else {
        CloseRootArchive(record);
    }
    host::FreeMemory(record->listing);
    UnlinkZipDirHandle(record);
    host::FreeMemory(record);
}

bool FileDeferredDeletion(ZipDirHandle *root, zip_uint64_t index) {
    if (root->pendingCount == root->pendingCapacity) {
        uint32_t capacity = root->pendingCapacity + kDeletionGrowth;
        auto *grown = static_cast<zip_uint64_t *>(host::AllocMemory(capacity * sizeof(zip_uint64_t), false, "delbuf"));
        if (!grown) return false;
        if (root->pendingCount > 0) std::memcpy(grown, root->pendingDeletions, root->pendingCount * sizeof(zip_uint64_t));
        host::FreeMemory(root->pendingDeletions);
        root->pendingDeletions = grown;
        root->pendingCapacity = capacity;
    }
    root->pendingDeletions[root->pendingCount++] = index;
    return true;
}
