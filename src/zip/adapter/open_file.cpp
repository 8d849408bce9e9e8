// FOpen: finding the archive and the entry behind a host path.
#include <cstdlib>
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/entry_names.h"
#include "adapter/file_handle.h"
#include "adapter/paths.h"
#include "host.h"

namespace {

// The file the scan just returned, if path names it exactly: -1 otherwise.
// Saves the name lookup when the host opens what a scan listed.
zip_int64_t LastListedFile(const ZipDirHandle *root, const char *inner) {
    if (root->lastFileIndex < 0) return -1;
    const char *name = zip_get_name(root->archive, static_cast<zip_uint64_t>(root->lastFileIndex), 0);
    return name && SameName(name, inner, false) ? root->lastFileIndex : -1;
}

// Shares the archive of the scan registered for it; the handle holds one
// reference to the root until it is destroyed.
void BorrowScanArchive(ZipFileHandle *handle, ZipDirHandle *record) {
    handle->root = RootOf(record);
    handle->root->references++;
    handle->archive = handle->root->archive;
    handle->cached = handle->root->cached;
}

// Opens the archive for a reading handle that has no scan to borrow from:
// a source's for this handle alone, a file's from the cache.
bool OpenOwnArchive(ZipFileHandle *handle, const OpenOptions &options) {
    if (HasSource(options)) {
        handle->archive = OpenSourceArchive(handle, options);
        return handle->archive != nullptr;
    }
    handle->cached = AcquireArchive(handle->archivePath);
    if (!handle->cached) return false;
    handle->archive = handle->cached->archive;
    return true;
}

// Stats and opens the entry at index.
bool OpenEntryAt(ZipFileHandle *handle, zip_int64_t index) {
    if (index < 0 || zip_stat_index(handle->archive, static_cast<zip_uint64_t>(index), 0, &handle->stat) != 0) return false;
    handle->reader = OpenEntryStream(handle);
    return handle->reader != nullptr;
}

// The entry the handle's inner path names: exactly, else ignoring case.
zip_int64_t LocateEntry(ZipFileHandle *handle) {
    if (handle->cached) return FindCachedEntry(handle->cached, handle->innerPath);
    return FindEntry(handle->archive, handle->innerPath);
}

// The reading route: the archive (borrowed, cached or owned) and the
// entry's stream.
bool OpenForReading(ZipFileHandle *handle, ZipDirHandle *record, const OpenOptions &options) {
    zip_int64_t index = -1;
    if (record) {
        BorrowScanArchive(handle, record);
        index = LastListedFile(handle->root, handle->innerPath);
    } else if (!OpenOwnArchive(handle, options)) {
        return false;
    }
    if (index < 0) index = LocateEntry(handle);
    if (!OpenEntryAt(handle, index)) return false;
    handle->sequential = options.sequential;
    handle->length = static_cast<int64_t>(handle->stat.size);
    return true;
}

// Copies text to the place after the record that *next points to and moves
// *next past it; returns the copy.
char *PlaceText(char **next, const char *text, size_t room) {
    char *copy = *next;
    std::memcpy(copy, text, std::strlen(text) + 1);
    *next += room;
    return copy;
}

// A new handle with the fields every route needs, its strings after the
// record: the archive's path (with room for a name the host makes for a
// source), the inner path and the whole password. NULL without memory.
ZipFileHandle *NewFileHandle(const ArchivePath &split, const OpenOptions &options) {
    const char *password = options.password ? options.password : "";
    const size_t archiveRoom = HasSource(options) ? kPathBufferSize : std::strlen(split.archive) + 1;
    const size_t innerRoom = std::strlen(split.inner) + 1;
    const size_t passwordRoom = std::strlen(password) + 1;
    const size_t size = sizeof(ZipFileHandle) + archiveRoom + innerRoom + passwordRoom;
    auto *handle = static_cast<ZipFileHandle *>(host::AllocMemory(size, true, "zipfile"));
    if (!handle) return nullptr;
    char *next = reinterpret_cast<char *>(handle + 1);
    handle->archivePath = PlaceText(&next, split.archive, archiveRoom);
    handle->innerPath = PlaceText(&next, split.inner, innerRoom);
    handle->password = PlaceText(&next, password, passwordRoom);
    handle->encryption = static_cast<uint16_t>(options.encryption);
    return handle;
}

}  // namespace

EntryReader *OpenEntryStream(const ZipFileHandle *handle) {
    bool noMemory = false;
    return OpenEntryReader(handle->archive, handle->stat.index, handle->password[0] ? handle->password : nullptr,
                           &noMemory);
}

void DestroyFileHandle(ZipFileHandle *handle) {
    CloseEntryReader(handle->reader);
    if (handle->root) {
        ReleaseZipDirHandle(handle->root);
    } else if (handle->cached) {
        ReleaseArchive(handle->cached);
    } else if (handle->archive) {
        zip_discard(handle->archive);
    }
    if (handle->removeArchiveFile) host::DeleteHostFile(handle->archivePath);
    if (handle->skipBuffer) host::FreeMemory(handle->skipBuffer);
    free(handle->data);
    host::FreeMemory(handle);
}

ZIP_EXPORT void *FOpen(const char *path, int mode, const TagItem *tags) {
    ArchivePath split;
    if (!SplitArchivePath(path, &split, false) || split.inner[0] == '\0' || !IsServedName(split.inner)) return nullptr;
    OpenOptions options = ReadOpenOptions(tags);
    ZipDirHandle *record = FindZipDirHandle(split.archive);
    bool reading = (mode & FMODE_READ) != 0;
    // A scanned archive is never written: its scans and deferred deletions
    // rely on the file staying as they saw it. Nothing is written under a
    // name an extractor would drop or follow out of its folder.
    if (!reading && (record || !IsSoundNewName(split.inner))) return nullptr;
    ZipFileHandle *handle = NewFileHandle(split, options);
    if (!handle) return nullptr;
    bool opened = reading ? OpenForReading(handle, record, options) : OpenForWriting(handle, (mode & FMODE_READWRITE) != 0);
    if (!opened) {
        DestroyFileHandle(handle);
        return nullptr;
    }
    if (options.nameOut) *options.nameOut = kAdapterName;
    return handle;
}
