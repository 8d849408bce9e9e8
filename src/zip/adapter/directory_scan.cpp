// Scanning directories inside archives: the flat entry list seen as a tree.
#include <cstring>

#include "adapter/archive_access.h"
#include "adapter/file_info.h"
#include "adapter/paths.h"
#include "adapter/registry.h"
#include "bounded.h"
#include "host.h"

namespace {

constexpr char kAdapterName[] = "Zip";

// The adapter's name goes where OpenDir's tag 2 points.
void ReportAdapterName(const TagItem *tags) {
    for (const TagItem *tag = tags; tag && tag->tag != TAG_DONE; tag++) {
        if (tag->tag == OPENDIRTAG_NAME && tag->data) *reinterpret_cast<const char **>(tag->data) = kAdapterName;
    }
}

// Whether name was listed as a subdirectory already.
bool SubdirSeen(const ZipDirHandle *record, const char *name) {
    for (const SubdirName *node = record->subdirNames; node; node = node->next) {
        if (std::strcmp(node->name, name) == 0) return true;
    }
    return false;
}

// Remembers name as a listed subdirectory; false without memory.
bool RememberSubdir(ZipDirHandle *record, const char *name) {
    size_t length = std::strlen(name);
    auto *node = static_cast<SubdirName *>(host::AllocMemory(sizeof(SubdirName) + length, true, "zcd"));
    if (!node) return false;
    std::memcpy(node->text, name, length + 1);
    node->name = node->text;
    SubdirName **link = &record->subdirNames;
    while (*link) link = &(*link)->next;
    *link = node;
    return true;
}

// Copies the first component of relative (up to its first '/') into the
// shared name buffer.
void CopyFirstComponent(const char *relative) {
    size_t length = std::strcspn(relative, "/");
    if (length >= kPathBufferSize) length = kPathBufferSize - 1;
    std::memcpy(gState.nameBuffer, relative, length);
    gState.nameBuffer[length] = '\0';
}

// Adds the child through which entry index belongs to the directory, if it
// is a new one. False when memory runs out: a listing that would repeat a
// subdirectory is no listing.
bool ListEntry(ZipDirHandle *record, zip_uint64_t index, const char *relative) {
    const char *slash = std::strchr(relative, '/');
    if (slash) {
        CopyFirstComponent(relative);
        if (SubdirSeen(record, gState.nameBuffer)) return true;
        if (!RememberSubdir(record, gState.nameBuffer)) return false;
    }
    record->listing[record->listingCount++] = ListingElement{index, slash ? 1u : 0u};
    return true;
}

// Builds the listing of the record's directory from the flat entry list and
// finds the directory's own entry. False when memory runs out or the
// directory does not exist (no entry lies in it).
bool BuildListing(ZipDirHandle *record) {
    size_t prefix = std::strlen(record->directory);
    for (zip_uint64_t index = 0; index < record->entryCount; index++) {
        const char *name = zip_get_name(record->archive, index, 0);
        if (!name || std::strncmp(name, record->directory, prefix) != 0) continue;
        const char *relative = name + prefix;
        if (*relative == '\0') {
            if (record->ownEntry < 0) record->ownEntry = static_cast<zip_int64_t>(index);
        } else if (!ListEntry(record, index, relative)) {
            return false;
        }
    }
    return prefix == 0 || record->ownEntry >= 0 || record->listingCount > 0;
}

// Gives the archive and the listing their contents; false on failure.
bool FillScan(ZipDirHandle *record, ZipDirHandle *found) {
    record->archive = found ? RootOf(found)->archive : OpenArchiveForScan(record->archivePath);
    if (!record->archive) return false;
    zip_int64_t count = zip_get_num_entries(record->archive, 0);
    record->entryCount = count > 0 ? static_cast<zip_uint64_t>(count) : 0;
    size_t elements = record->entryCount > 0 ? record->entryCount : 1;
    record->listing = static_cast<ListingElement *>(host::AllocMemory(elements * sizeof(ListingElement), false, "zipentries"));
    return record->listing && BuildListing(record);
}

// Undoes a scan that could not be filled.
void DiscardScan(ZipDirHandle *record, bool ownsArchive) {
    FreeSubdirNames(record);
    host::FreeMemory(record->listing);
    if (ownsArchive && record->archive) zip_discard(record->archive);
    host::FreeMemory(record);
}

// A new scan record for split, not yet filled.
ZipDirHandle *NewScan(const ArchivePath &split) {
    auto *record = static_cast<ZipDirHandle *>(host::AllocMemory(sizeof(ZipDirHandle), true, "zipplug"));
    if (!record) return nullptr;
    CopyBounded(record->archivePath, kPathBufferSize, split.archive);
    CopyBounded(record->directory, kPathBufferSize, split.inner);
    record->lastFileIndex = -1;
    record->ownEntry = -1;
    record->references = 1;
    return record;
}

// Stats entry index into stat; NULL when libzip cannot, so that nothing is
// ever read from an unset stat.
const zip_stat_t *StatEntry(zip_t *archive, zip_uint64_t index, zip_stat_t *stat) {
    return zip_stat_index(archive, index, 0, stat) == 0 ? stat : nullptr;
}

}  // namespace

ZIP_EXPORT void *OpenDir(const char *path, void *, const TagItem *tags) {
    ArchivePath split;
    if (!SplitArchivePath(path, &split, true)) return nullptr;
    ZipDirHandle *found = FindZipDirHandle(split.archive);
    ZipDirHandle *record = NewScan(split);
    if (!record) return nullptr;
    if (!FillScan(record, found)) {
        DiscardScan(record, !found);
        return nullptr;
    }
    FreeSubdirNames(record);
    ReportAdapterName(tags);
    if (found) {
        record->parent = RootOf(found);
        record->parent->references++;
    }
    RegisterZipDirHandle(record);
    return record;
}

ZIP_EXPORT int NextDirEntry(void *dir, FSObjInfo *info) {
    auto *record = static_cast<ZipDirHandle *>(dir);
    if (record->position >= record->listingCount) return 0;
    std::memset(info, 0, sizeof *info);
    const ListingElement &element = record->listing[record->position];
    const char *name = zip_get_name(record->archive, element.index, 0);
    if (!name) return 0;
    const char *relative = name + std::strlen(record->directory);
    zip_stat_t stat;
    const zip_stat_t *known = nullptr;
    int64_t lastFile = -1;
    if (element.directory) {
        CopyFirstComponent(relative);
        bool implicit = relative[std::strlen(gState.nameBuffer) + 1] != '\0';
        if (!implicit) known = StatEntry(record->archive, element.index, &stat);
    } else {
        CopyBounded(gState.nameBuffer, kPathBufferSize, relative);
        known = StatEntry(record->archive, element.index, &stat);
        lastFile = static_cast<int64_t>(element.index);
    }
    if (!FillFSObjInfo(record->archive, known, info, 0, !element.directory, gState.nameBuffer, nullptr)) return 0;
    RootOf(record)->lastFileIndex = lastFile;
    record->position++;
    return 1;
}

ZIP_EXPORT int RewindDir(void *dir) {
    static_cast<ZipDirHandle *>(dir)->position = 0;
    return 1;
}

ZIP_EXPORT int StatDir(void *dir, int flags, FSObjInfo *info) {
    auto *record = static_cast<ZipDirHandle *>(dir);
    if (record->ownEntry < 0) return 0;
    zip_stat_t stat;
    const zip_stat_t *known = StatEntry(record->archive, static_cast<zip_uint64_t>(record->ownEntry), &stat);
    return FillFSObjInfo(record->archive, known, info, flags, false, record->directory, record->archivePath);
}

ZIP_EXPORT int CloseDir(void *dir) {
    ReleaseZipDirHandle(static_cast<ZipDirHandle *>(dir));
    return 0;
}

ZIP_EXPORT int ChangeDir(const char *) { return 0; }

ZIP_EXPORT int GetCurDir(char *, int) { return 0; }
