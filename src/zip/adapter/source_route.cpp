// Archives whose bytes come with FOpen's tags instead of from a plain file.
#include <cstring>

#include "adapter/archive_access.h"
#include "adapter/file_handle.h"
#include "host.h"

namespace {

// The text after the last '.' of path, or "".
const char *Extension(const char *path) {
    const char *dot = std::strrchr(path, '.');
    return dot ? dot + 1 : "";
}

// Hosts from 7.1 on name the source themselves.
zip_t *OpenNamedSource(ZipFileHandle *handle, const OpenOptions &options) {
    SourceRecord record{};
    record.data = options.sourceData;
    record.handle = options.sourceData ? nullptr : options.sourceHandle;
    record.extension = Extension(handle->archivePath);
    record.length = options.sourceData ? options.sourceLength : 0;
    record.further = options.further;
    char name[kPathBufferSize] = "";
    host::MakeSourceFileName(name, kPathBufferSize, &record);
    name[kPathBufferSize - 1] = '\0';
    std::memcpy(handle->archivePath, name, sizeof name);
    return OpenArchiveForReading(handle->archivePath);
}

// Older hosts: the source is copied into a temporary file first; the file is
// deleted with the handle, whatever happens.
zip_t *OpenCopiedSource(ZipFileHandle *handle, const OpenOptions &options) {
    if (!host::MakeTempFileName(handle->tempFileName, kPathBufferSize)) {
        handle->tempFileName[0] = '\0';
        return nullptr;
    }
    bool fromHandle = options.sourceHandle != nullptr;
    void *source = fromHandle ? options.sourceHandle : const_cast<void *>(options.sourceData);
    if (host::WriteSourceToFile(handle->tempFileName, source, options.sourceLength, options.further, fromHandle ? 1 : 0) != 0) {
        return nullptr;
    }
    std::memcpy(handle->archivePath, handle->tempFileName, kPathBufferSize);
    return OpenArchiveForReading(handle->archivePath);
}

}  // namespace

zip_t *OpenSourceArchive(ZipFileHandle *handle, const OpenOptions &options) {
    if (HostIsAtLeast(7, 1)) return OpenNamedSource(handle, options);
    return OpenCopiedSource(handle, options);
}
