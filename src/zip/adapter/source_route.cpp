// Archives whose bytes come with FOpen's tags instead of from a plain file.
#include <cstring>

#include "adapter/file_handle.h"
#include "adapter/paths.h"
#include "core/host_archive_source.h"
#include "host.h"

namespace {

// The first host version that names a source itself (MakeSourceFileName).
constexpr uint32_t kNamingVersion = 7;
constexpr uint32_t kNamingRevision = 1;

// The text after the last '.' of path, or "".
const char *Extension(const char *path) {
    const char *dot = std::strrchr(path, '.');
    return dot ? dot + 1 : "";
}

// Hosts from 7.1 on name the source themselves. A name without its end in
// the buffer was cut, and a cut name may be another file's: refused.
zip_t *OpenNamedSource(ZipFileHandle *handle, const OpenOptions &options) {
    SourceRecord record{};
    record.data = options.sourceData;
    record.handle = options.sourceData ? nullptr : options.sourceHandle;
    record.extension = Extension(handle->archivePath);
    record.length = options.sourceData ? options.sourceLength : 0;
    record.further = options.further;
    char name[kPathBufferSize] = "";
    host::MakeSourceFileName(name, kPathBufferSize, &record);
    if (std::memchr(name, '\0', kPathBufferSize) == nullptr) return nullptr;
    std::memcpy(handle->archivePath, name, kPathBufferSize);
    return OpenArchiveThroughHost(handle->archivePath, SourceMemory::Host);
}

// Older hosts: the source is copied into a temporary file first; the file is
// deleted with the handle, whatever happens.
zip_t *OpenCopiedSource(ZipFileHandle *handle, const OpenOptions &options) {
    char name[kPathBufferSize] = "";
    if (!host::MakeTempFileName(name, kPathBufferSize) || name[0] == '\0') return nullptr;
    std::memcpy(handle->archivePath, name, kPathBufferSize);
    handle->removeArchiveFile = true;
    bool fromHandle = options.sourceHandle != nullptr;
    void *source = fromHandle ? options.sourceHandle : const_cast<void *>(options.sourceData);
    if (host::WriteSourceToFile(handle->archivePath, source, options.sourceLength, options.further, fromHandle ? 1 : 0) != 0)
        return nullptr;
    return OpenArchiveThroughHost(handle->archivePath, SourceMemory::Host);
}

}  // namespace

bool HasSource(const OpenOptions &options) { return options.sourceData != nullptr || options.sourceHandle != nullptr; }

zip_t *OpenSourceArchive(ZipFileHandle *handle, const OpenOptions &options) {
    if (host::IsAtLeast(kNamingVersion, kNamingRevision)) return OpenNamedSource(handle, options);
    return OpenCopiedSource(handle, options);
}
