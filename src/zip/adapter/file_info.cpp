#include "adapter/file_info.h"

#include <cstring>

#include "adapter/paths.h"
#include "core/bounded.h"
#include "core/dates.h"
#include "host.h"

namespace {

// The protection flags of every object inside an archive: all four set.
constexpr uint32_t kAllProtectionFlags = 15;

// Names handed back without FSOBJ_FULLNAME; each call reuses it.
char gNameBuffer[kPathBufferSize];

// Joins directory and name with the host's path rules, '\\' as '/'.
// Returns false when the result does not fit.
bool JoinPath(char *buffer, const char *directory, const char *name) {
    if (!CopyBounded(buffer, kPathBufferSize, directory)) return false;
    if (!host::AppendPathPart(buffer, name, kPathBufferSize)) return false;
    for (char *c = buffer; *c; c++) {
        if (*c == '\\') *c = '/';
    }
    return true;
}

// Stores name into info: a host-owned copy when asked for, else the shared
// buffer. Returns false when the copy cannot be made or the name is cut.
bool StoreName(FSObjInfo *info, const char *name, int flags) {
    if (flags & FSOBJ_FULLNAME) {
        size_t size = std::strlen(name) + 1;
        info->name = static_cast<char *>(host::AllocMemory(size, false, "fullpath"));
        if (!info->name) return false;
        std::memcpy(info->name, name, size);
    } else {
        if (!CopyBounded(gNameBuffer, kPathBufferSize, name)) return false;
        info->name = gNameBuffer;
    }
    size_t length = std::strlen(info->name);
    if (length > 0 && info->name[length - 1] == '/') info->name[length - 1] = '\0';
    return true;
}

// Sets all three dates of info: the entry's time, or now without a stat.
void StoreDates(FSObjInfo *info, const zip_stat_t *stat) {
    if (!stat || !(stat->valid & ZIP_STAT_MTIME) || !TimeToDateRecord(stat->mtime, &info->modified)) {
        host::GetCurrentDate(&info->modified);
    }
    info->created = info->modified;
    info->accessed = info->modified;
}

}  // namespace

bool FillFSObjInfo(zip_t *archive, const zip_stat_t *stat, FSObjInfo *info, int flags, bool isFile,
                   const char *name, const char *directory) {
    if (!name && stat) name = zip_get_name(archive, stat->index, 0);
    if (!name) return false;
    char joined[kPathBufferSize];
    if (directory) {
        if (!JoinPath(joined, directory, name)) return false;
        name = joined;
    }
    info->type = isFile ? FSOBJ_FILE : FSOBJ_DIRECTORY;
    info->size = stat && (stat->valid & ZIP_STAT_SIZE) ? stat->size : 0;
    info->flags = kAllProtectionFlags;
    if (!StoreName(info, name, flags)) return false;
    StoreDates(info, stat);
    return true;
}
