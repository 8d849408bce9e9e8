#include "adapter/archive_access.h"

#include <cerrno>

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
    int error = zip_error_code_system(zip_get_error(archive));
    zip_discard(archive);
    errno = error != 0 ? error : EIO;
    return false;
}
