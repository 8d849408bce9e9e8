#include "adapter/archive_cache.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "adapter/entry_names.h"
#include "core/host_archive_source.h"
#include "host.h"

namespace {

// A few archives: games and apps read from one or two at a time.
constexpr int kKeptArchives = 8;

// File systems stamp times in ticks, FAT's as coarse as two seconds. A file
// whose contents last changed at least this long before they were read
// cannot change again without its modification time moving.
constexpr time_t kSettleSeconds = 3;

CachedArchive *gKept[kKeptArchives];  // the kept archives; NULL for a free slot
uint64_t gUseClock;                   // counts hand-outs, for lastUse

// Whether the file had settled when reading began at readTime: only then
// does any later change show in its identity.
bool SettledBefore(const FileIdentity &identity, const timespec &readTime) {
    return identity.modified.tv_sec < readTime.tv_sec - kSettleSeconds;
}

// Frees an archive that nobody uses and the cache no longer holds.
void CloseCachedArchive(CachedArchive *archive) {
    if (archive->namesIndexed) FreeNameIndex(&archive->names);
    if (archive->directoriesIndexed) FreeDirectoryIndex(&archive->directories);
    ClearEntryRestartPoints(&archive->points);
    zip_discard(archive->archive);
    free(archive);
}

// Takes the archive in slot out of the cache; it closes now or with its
// last user.
void Unkeep(int slot) {
    CachedArchive *archive = gKept[slot];
    gKept[slot] = nullptr;
    archive->kept = false;
    if (archive->users == 0) CloseCachedArchive(archive);
}

// A free slot, made by evicting the least recently used idle archive if
// needed; -1 when every kept archive is in use.
int FreeSlot() {
    int oldest = -1;
    for (int slot = 0; slot < kKeptArchives; slot++) {
        CachedArchive *archive = gKept[slot];
        if (!archive) return slot;
        if (archive->users == 0 && (oldest < 0 || archive->lastUse < gKept[oldest]->lastUse)) oldest = slot;
    }
    if (oldest >= 0) Unkeep(oldest);
    return oldest;
}

// The kept archive of the file identity names, if it is still that file's
// current version; a stale one is dropped.
CachedArchive *FindKept(const FileIdentity &identity) {
    for (int slot = 0; slot < kKeptArchives; slot++) {
        CachedArchive *archive = gKept[slot];
        if (!archive || !SameFile(archive->identity, identity)) continue;
        if (Unchanged(archive->identity, identity)) return archive;
        Unkeep(slot);
    }
    return nullptr;
}

// Opens path as a new cached archive with one user, kept when its file is
// identified and had settled; NULL on failure.
CachedArchive *OpenCachedArchive(const char *path, const FileIdentity *identity) {
    timespec readTime;
    clock_gettime(CLOCK_REALTIME, &readTime);
    zip_t *opened = OpenArchiveThroughHost(path, SourceMemory::Heap);
    if (!opened) return nullptr;
    const size_t pathSize = std::strlen(path) + 1;
    auto *archive = static_cast<CachedArchive *>(calloc(1, sizeof(CachedArchive) + pathSize));
    if (!archive) {
        zip_discard(opened);
        return nullptr;
    }
    archive->archive = opened;
    std::memcpy(archive->path, path, pathSize);
    archive->users = 1;
    archive->lastUse = ++gUseClock;
    if (identity == nullptr) return archive;
    archive->identity = *identity;
    if (SettledBefore(*identity, readTime)) {
        int slot = FreeSlot();
        if (slot >= 0) {
            gKept[slot] = archive;
            archive->kept = true;
        }
    }
    return archive;
}

}  // namespace

CachedArchive *AcquireArchive(const char *path) {
    FileIdentity identity;
    if (!IdentifyFile(path, &identity)) return OpenCachedArchive(path, nullptr);
    CachedArchive *archive = FindKept(identity);
    if (!archive) return OpenCachedArchive(path, &identity);
    archive->users++;
    archive->lastUse = ++gUseClock;
    return archive;
}

void ReleaseArchive(CachedArchive *archive) {
    if (--archive->users == 0 && !archive->kept) CloseCachedArchive(archive);
}

void ForgetArchive(const char *path) {
    int error = errno;
    FileIdentity now;
    bool identified = IdentifyFile(path, &now);
    for (int slot = 0; slot < kKeptArchives; slot++) {
        CachedArchive *archive = gKept[slot];
        if (!archive) continue;
        if (host::CompareNoCase(archive->path, path) == 0 || (identified && SameFile(archive->identity, now))) Unkeep(slot);
    }
    errno = error;
}

void DropArchiveCache() {
    for (int slot = 0; slot < kKeptArchives; slot++) {
        if (gKept[slot]) Unkeep(slot);
    }
}

zip_int64_t FindCachedEntry(CachedArchive *archive, const char *name) {
    if (!archive->namesIndexed) archive->namesIndexed = BuildNameIndex(archive->archive, NameKey::Whole, &archive->names);
    if (archive->namesIndexed) {
        zip_int64_t found = FindIndexedName(&archive->names, name, SameExactly, false);
        if (found == -1) found = FindIndexedName(&archive->names, name, SameIgnoringCase, true);
        if (found != kWalkEntries) return found;
    }
    return FindEntry(archive->archive, name);
}

const DirectoryIndex *DirectoriesOf(CachedArchive *archive) {
    if (!archive->directoriesIndexed) {
        archive->directoriesIndexed = BuildDirectoryIndex(archive->archive, &archive->directories);
    }
    return archive->directoriesIndexed ? &archive->directories : nullptr;
}
