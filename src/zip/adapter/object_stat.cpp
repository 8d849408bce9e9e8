// Stat: describing a file or directory inside an archive.
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/archive_cache.h"
#include "adapter/entry_names.h"
#include "adapter/file_info.h"
#include "adapter/paths.h"
#include "adapter/registry.h"

namespace {

constexpr zip_int64_t kUnreadableName = -2;

// The first entry named exactly dir (ending in '/'), or with prefixOnly the
// first lying inside it; names compare case-sensitively, as scans do ('\\'
// read as '/'). -1
// when there is none, kUnreadableName when a name cannot be read.
zip_int64_t FindDirectoryEntry(zip_t *archive, const char *dir, bool prefixOnly) {
    size_t length = std::strlen(dir);
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char *name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (!name) return kUnreadableName;
        bool match = prefixOnly ? BeginsWithName(name, dir, length, false) : SameName(name, dir, false);
        if (match) return i;
    }
    return -1;
}

// Describes the object at inner in archive; false when there is none.
bool StatInArchive(zip_t *archive, const ArchivePath &split, int flags, FSObjInfo *info) {
    zip_stat_t stat;
    zip_int64_t index = FindEntry(archive, split.inner);
    if (index >= 0 && zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0) {
        bool isFile = split.inner[std::strlen(split.inner) - 1] != '/';
        return FillFSObjInfo(archive, &stat, info, flags, isFile, nullptr, split.archive);
    }
    char dir[kPathBufferSize + 1];
    std::strcpy(dir, split.inner);
    std::strcat(dir, "/");
    index = FindDirectoryEntry(archive, dir, false);
    if (index >= 0) {
        bool known = zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0;
        return FillFSObjInfo(archive, known ? &stat : nullptr, info, flags, false, dir, split.archive);
    }
    if (index == kUnreadableName || FindDirectoryEntry(archive, dir, true) < 0) return false;
    return FillFSObjInfo(archive, nullptr, info, flags, false, dir, split.archive);
}

}  // namespace

ZIP_EXPORT int Stat(const char *path, int flags, FSObjInfo *info) {
    std::memset(info, 0, sizeof *info);
    ArchivePath split;
    if (!SplitArchivePath(path, &split, false) || split.inner[0] == '\0') return 0;
    if (ZipDirHandle *record = FindZipDirHandle(split.archive)) {
        return StatInArchive(RootOf(record)->archive, split, flags, info) ? 1 : 0;
    }
    CachedArchive *archive = AcquireArchive(split.archive);
    if (!archive) return 0;
    bool filled = StatInArchive(archive->archive, split, flags, info);
    ReleaseArchive(archive);
    return filled ? 1 : 0;
}
