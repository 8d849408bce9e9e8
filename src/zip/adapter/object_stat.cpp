// Stat: describing a file or directory inside an archive.
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/archive_cache.h"
#include "adapter/entry_names.h"
#include "adapter/file_info.h"
#include "adapter/paths.h"
#include "adapter/registry.h"

namespace {

// Describes the object at inner in archive; false when there is none. A
// file is found as FOpen finds it; a directory by its own entry or the
// entries inside it, compared by bytes as scans compare them.
bool StatInArchive(CachedArchive *cached, const ArchivePath &split, int flags, FSObjInfo *info) {
    zip_t *archive = cached->archive;
    zip_stat_t stat;
    zip_int64_t index = FindCachedEntry(cached, split.inner);
    if (index >= 0 && zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0) {
        bool isFile = split.inner[std::strlen(split.inner) - 1] != '/';
        return FillFSObjInfo(archive, &stat, info, flags, isFile, nullptr, split.archive);
    }
    const DirectoryIndex *directories = DirectoriesOf(cached);
    if (!directories) return false;
    char dir[kPathBufferSize + 1];
    std::strcpy(dir, split.inner);
    std::strcat(dir, "/");
    zip_uint64_t first, end;
    FindPrefixRun(directories, dir, std::strlen(dir), &first, &end);
    if (first == end) return false;
    // The shortest name of the run comes first: the folder's own entry,
    // the lowest of its spelling, if it has one.
    const NamedEntry &own = directories->sorted[first];
    bool known = CompareNames(own.name, dir, SIZE_MAX) == 0 && zip_stat_index(archive, own.index, 0, &stat) == 0;
    return FillFSObjInfo(archive, known ? &stat : nullptr, info, flags, false, dir, split.archive);
}

}  // namespace

ZIP_EXPORT int Stat(const char *path, int flags, FSObjInfo *info) {
    std::memset(info, 0, sizeof *info);
    ArchivePath split;
    if (!SplitArchivePath(path, &split, false) || split.inner[0] == '\0' || !IsServedName(split.inner)) return 0;
    if (ZipDirHandle *record = FindZipDirHandle(split.archive)) {
        return StatInArchive(RootOf(record)->cached, split, flags, info) ? 1 : 0;
    }
    CachedArchive *archive = AcquireArchive(split.archive);
    if (!archive) return 0;
    bool filled = StatInArchive(archive, split, flags, info);
    ReleaseArchive(archive);
    return filled ? 1 : 0;
}
