// Splitting host paths at their first ".zip".
#include "adapter/paths.h"

#include <cstring>

#include "host.h"

namespace {

constexpr char kExtension[] = ".zip";
constexpr size_t kExtensionLength = sizeof(kExtension) - 1;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Position just after the first ".zip" of path, compared without case by the
// host, or 0 when there is none within the first kPathBufferSize - 1
// characters (an archive part longer than that cannot be held).
size_t FindArchiveEnd(const char *path, char *work) {
    size_t length = strnlen(path, kPathBufferSize);
    if (length >= kPathBufferSize) length = kPathBufferSize - 1;
    std::memcpy(work, path, length);
    work[length] = '\0';
    host::LowerCaseText(work);
    const char *found = std::strstr(work, kExtension);
    return found ? static_cast<size_t>(found - work) + kExtensionLength : 0;
}

// Copies the inner part into out->inner with '\\' turned into '/', adding a
// '/' if asked; false when the result would not fit.
bool CopyInnerPath(const char *inner, ArchivePath *out, bool trailingSlash) {
    size_t length = std::strlen(inner);
    bool addSlash = trailingSlash && inner[length - 1] != '/' && inner[length - 1] != '\\';
    if (length + (addSlash ? 1 : 0) >= kPathBufferSize) return false;
    for (size_t i = 0; i < length; i++) out->inner[i] = inner[i] == '\\' ? '/' : inner[i];
    if (addSlash) out->inner[length++] = '/';
    out->inner[length] = '\0';
    return true;
}

}  // namespace

bool SplitArchivePath(const char *path, ArchivePath *out, bool trailingSlash) {
    if (!path) return false;
    size_t end = FindArchiveEnd(path, out->archive);
    if (end == 0) return false;
    char next = path[end];
    if (next != '\0' && !(IsSeparator(next) && path[end + 1] != '\0')) return false;
    std::memcpy(out->archive, path, end);
    out->archive[end] = '\0';
    if (next == '\0') {
        out->inner[0] = '\0';
        return true;
    }
    return CopyInnerPath(path + end + 1, out, trailingSlash);
}
