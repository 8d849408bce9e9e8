#include "adapter/archive_access.h"

#include "core/archive_file.h"
#include "core/file_identity.h"

zip_t *OpenForChangeThroughWritableFile(const char *path) {
    return OpenArchiveThroughWritableFile(path, ZIP_CREATE, WriteLock::FromOpen);
}

zip_t *OpenToLoadThroughLibzip(const char *path) {
    return NamesOtherThanFile(path) ? nullptr : zip_open(path, ZIP_CREATE, nullptr);
}

bool WriteArchiveBack(zip_t *archive) {
    if (zip_close(archive) == 0) return true;
    zip_discard(archive);
    return false;
}
