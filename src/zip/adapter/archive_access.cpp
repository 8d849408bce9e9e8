// The ways the adapter opens and closes archives.
#include "adapter/archive_access.h"

#include "library/host_file_source.h"

zip_t *OpenArchiveForReading(const char *path) { return OpenArchiveFromHostFile(path); }

void CloseArchiveForReading(zip_t *archive) { zip_discard(archive); }

zip_t *OpenArchiveForChange(const char *path) { return zip_open(path, ZIP_CREATE, nullptr); }

zip_t *OpenArchiveForScan(const char *path) { return zip_open(path, 0, nullptr); }

bool WriteArchiveBack(zip_t *archive) {
    if (zip_close(archive) == 0) return true;
    zip_discard(archive);
    return false;
}
