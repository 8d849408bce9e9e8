// The ways the adapter opens and closes archives.
#include "adapter/archive_access.h"

#include <cstdlib>
#include <memory>

#include "file_identity.h"
#include "core/archive_file.h"
#include "host.h"
#include "library/host_file_source.h"

namespace {

// The source callback of a kept archive: the host-file source, except that
// its record goes back to the process heap.
zip_int64_t KeptSourceCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command) {
    if (command != ZIP_SOURCE_FREE) return HostFileSourceCallback(state, data, length, command);
    auto *source = static_cast<HostFileSource *>(state);
    host::CloseHostFile(source->handle);
    free(source);
    return 0;
}

// Frees a kept source's record on every way out until libzip owns it.
struct HeapRelease {
    void operator()(HostFileSource *source) const { free(source); }
};

}  // namespace

zip_t *OpenArchiveForReading(const char *path) { return NamesOtherThanFile(path) ? nullptr : OpenArchiveFromHostFile(path); }

zip_t *OpenArchiveToKeep(const char *path) {
    std::unique_ptr<HostFileSource, HeapRelease> source(static_cast<HostFileSource *>(calloc(1, sizeof(HostFileSource))));
    if (!source || NamesOtherThanFile(path)) return nullptr;
    host::File file(host::OpenHostFile(path, FMODE_READ_ARCHIVE));
    if (!file) return nullptr;
    if (host::SeekHostFile(file.get(), 0, SEEK_FROM_END) < 0) return nullptr;
    int64_t size = host::SeekHostFile(file.get(), 0, SEEK_FROM_START);
    if (size < 0) return nullptr;
    source->size = static_cast<uint64_t>(size);
    source->handle = file.get();
    zip_source_t *zipSource = zip_source_function_create(KeptSourceCallback, source.get(), nullptr);
    if (!zipSource) return nullptr;
    // From here on the source owns the file and the record.
    file.release();
    source.release();
    zip_error_t error;
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(zipSource, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!archive) zip_source_free(zipSource);
    return archive;
}

void CloseArchiveForReading(zip_t *archive) { zip_discard(archive); }

zip_t *OpenArchiveForChange(const char *path) {
    int error = 0;
    return NamesOtherThanFile(path) ? nullptr : OpenWritableArchive(path, ZIP_CREATE, WriteLock::FromOpen, &error);
}

zip_t *OpenArchiveToLoad(const char *path) { return NamesOtherThanFile(path) ? nullptr : zip_open(path, ZIP_CREATE, nullptr); }

zip_t *OpenArchiveForScan(const char *path) { return NamesOtherThanFile(path) ? nullptr : zip_open(path, 0, nullptr); }

bool WriteArchiveBack(zip_t *archive) {
    if (zip_close(archive) == 0) return true;
    zip_discard(archive);
    return false;
}
