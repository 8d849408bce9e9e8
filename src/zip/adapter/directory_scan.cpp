// Scanning directories inside archives: the flat entry list seen as a tree.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/archive_cache.h"
#include "adapter/entry_names.h"
#include "adapter/file_info.h"
#include "adapter/paths.h"
#include "adapter/registry.h"
#include "core/bounded.h"
#include "host.h"

namespace {

// The adapter's name goes where OpenDir's tag 2 points.
void ReportAdapterName(const TagItem *tags) {
    for (const TagItem *tag = tags; tag && tag->tag != TAG_DONE; tag++) {
        if (tag->tag == OPENDIRTAG_NAME && tag->data) *reinterpret_cast<const char **>(tag->data) = kAdapterName;
    }
}

// Copies the first component of relative (up to its first separator) into
// name, which has kPathBufferSize bytes.
void CopyFirstComponent(const char *relative, char *name) {
    size_t length = std::strcspn(relative, "/\\");
    if (length >= kPathBufferSize) length = kPathBufferSize - 1;
    std::memcpy(name, relative, length);
    name[length] = '\0';
}

// qsort order of listing elements: archive order.
int OrderByIndex(const void *a, const void *b) {
    zip_uint64_t x = static_cast<const ListingElement *>(a)->index;
    zip_uint64_t y = static_cast<const ListingElement *>(b)->index;
    return x < y ? -1 : x > y ? 1 : 0;
}

// Whether a child whose name has length bytes can be opened or scanned
// through the directory whose path has prefix bytes: a name must not be
// empty, and the child's inner path (a subdirectory's with its '/') must
// fit the buffer of a split path.
bool Reachable(size_t prefix, size_t length, bool directory) {
    return length > 0 && prefix + length + (directory ? 1 : 0) < kPathBufferSize;
}

// Lists the subdirectory through which sorted[*at] lies in the directory,
// if it is reachable: every name that shares its path up to the separator
// at slash forms one run of the index, and the run's lowest entry stands
// for the subdirectory. Moves *at past the run.
void ListSubdirectory(ZipDirHandle *record, const DirectoryIndex *index, zip_uint64_t *at, zip_uint64_t end,
                      size_t prefix, const char *slash) {
    const NamedEntry &first = index->sorted[*at];
    size_t length = static_cast<size_t>(slash - first.name) + 1;
    zip_uint64_t lowest = first.index;
    for ((*at)++; *at < end && CompareNames(index->sorted[*at].name, first.name, length) == 0; (*at)++) {
        if (index->sorted[*at].index < lowest) lowest = index->sorted[*at].index;
    }
    if (Reachable(prefix, length - 1 - prefix, true)) record->listing[record->listingCount++] = ListingElement{lowest, 1};
}

// Whether sorted[at] is a second entry of the name before it: a directory
// has one child per name, the lowest entry, which lookups find too.
bool RepeatsName(const DirectoryIndex *index, zip_uint64_t at) {
    return at > 0 && CompareNames(index->sorted[at - 1].name, index->sorted[at].name, SIZE_MAX) == 0;
}

// Builds the listing of the record's directory from the entries inside it
// (one run of the name index) and finds the directory's own entry; the
// children appear in the order of their first entry in the archive. False
// when memory runs out or the directory does not exist (no entry lies in
// it; one whose children are all unreachable still exists).
bool BuildListing(ZipDirHandle *record, const DirectoryIndex *index) {
    size_t prefix = std::strlen(record->directory);
    zip_uint64_t at, end;
    FindPrefixRun(index, record->directory, prefix, &at, &end);
    bool exists = prefix == 0 || at < end;
    size_t elements = end > at ? end - at : 1;
    record->listing = static_cast<ListingElement *>(host::AllocMemory(elements * sizeof(ListingElement), false, "zipentries"));
    if (!record->listing) return false;
    while (at < end) {
        const NamedEntry &entry = index->sorted[at];
        const char *relative = entry.name + prefix;
        const char *slash = std::strpbrk(relative, "/\\");
        if (slash) {
            ListSubdirectory(record, index, &at, end, prefix, slash);
            continue;
        }
        if (*relative == '\0') {
            // Equal names sort by index: the first is the lowest.
            if (record->ownEntry < 0) record->ownEntry = static_cast<zip_int64_t>(entry.index);
        } else if (!RepeatsName(index, at) && Reachable(prefix, std::strlen(relative), false)) {
            record->listing[record->listingCount++] = ListingElement{entry.index, 0};
        }
        at++;
    }
    qsort(record->listing, record->listingCount, sizeof(ListingElement), OrderByIndex);
    return exists;
}

// The archive the scan reads: its root's, or the cache's for its file.
bool AttachArchive(ZipDirHandle *record, ZipDirHandle *found) {
    if (found) {
        record->archive = RootOf(found)->archive;
        return true;
    }
    record->cached = AcquireArchive(record->archivePath);
    if (!record->cached) return false;
    record->archive = record->cached->archive;
    return true;
}

// Gives the archive and the listing their contents; false on failure.
bool FillScan(ZipDirHandle *record, ZipDirHandle *found) {
    if (!AttachArchive(record, found)) return false;
    zip_int64_t count = zip_get_num_entries(record->archive, 0);
    record->entryCount = count > 0 ? static_cast<zip_uint64_t>(count) : 0;
    const DirectoryIndex *index = DirectoriesOf(found ? RootOf(found)->cached : record->cached);
    return index && BuildListing(record, index);
}

// Undoes a scan that could not be filled.
void DiscardScan(ZipDirHandle *record) {
    host::FreeMemory(record->listing);
    if (record->cached) ReleaseArchive(record->cached);
    host::FreeMemory(record);
}

// A new scan record for split, not yet filled; NULL without memory or when
// a path would be cut.
ZipDirHandle *NewScan(const ArchivePath &split) {
    auto *record = static_cast<ZipDirHandle *>(host::AllocMemory(sizeof(ZipDirHandle), true, "zipplug"));
    if (!record) return nullptr;
    if (!CopyBounded(record->archivePath, kPathBufferSize, split.archive) ||
        !CopyBounded(record->directory, kPathBufferSize, split.inner)) {
        host::FreeMemory(record);
        return nullptr;
    }
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
        DiscardScan(record);
        return nullptr;
    }
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
    char child[kPathBufferSize];
    zip_stat_t stat;
    const zip_stat_t *known = nullptr;
    int64_t lastFile = -1;
    if (element.directory) {
        CopyFirstComponent(relative, child);
        bool implicit = relative[std::strlen(child) + 1] != '\0';
        if (!implicit) known = StatEntry(record->archive, element.index, &stat);
    } else {
        if (!CopyBounded(child, kPathBufferSize, relative)) return 0;
        known = StatEntry(record->archive, element.index, &stat);
        lastFile = static_cast<int64_t>(element.index);
    }
    if (!FillFSObjInfo(record->archive, known, info, 0, !element.directory, child, nullptr)) return 0;
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
    return FillFSObjInfo(record->archive, known, info, flags, false, record->directory, record->archivePath) ? 1 : 0;
}

ZIP_EXPORT int CloseDir(void *dir) {
    ReleaseZipDirHandle(static_cast<ZipDirHandle *>(dir));
    return 0;
}

ZIP_EXPORT int ChangeDir(const char *) { return 0; }

ZIP_EXPORT int GetCurDir(char *, int) { return 0; }
