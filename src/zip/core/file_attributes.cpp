#include "core/file_attributes.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
// The largest value an extended attribute may have on Linux.
constexpr size_t kLargestValue = 65536;

// Frees platform memory on every way out of a scope.
struct HeapRelease {
    void operator()(void *memory) const { free(memory); }
};
using HeapBuffer = std::unique_ptr<char, HeapRelease>;

// Gives to the owner and group of old; false when only the group (or
// nothing) could be kept. *ownerRefused when old belongs to another user
// that this process may not give the file to.
bool KeepOwnerAndGroup(int to, const struct stat &old, bool *ownerRefused) {
    *ownerRefused = false;
    if (fchown(to, old.st_uid, old.st_gid) == 0) return true;
    *ownerRefused = old.st_uid != geteuid();
    return fchown(to, static_cast<uid_t>(-1), old.st_gid) == 0;
}

// The names of from's extended attributes, each ended by '\0', in a heap
// buffer; *length 0 when there are none or the file system keeps none.
HeapBuffer AttributeNames(int from, ssize_t *length) {
    *length = flistxattr(from, nullptr, 0);
    if (*length <= 0) {
        *length = 0;
        return nullptr;
    }
    HeapBuffer names(static_cast<char *>(malloc(static_cast<size_t>(*length))));
    if (names) *length = flistxattr(from, names.get(), static_cast<size_t>(*length));
    if (!names || *length < 0) *length = 0;
    return names;
}

// Copies the attribute name of from to to; false when it cannot be read or set.
bool CopyAttribute(int from, int to, const char *name, char *value) {
    ssize_t length = fgetxattr(from, name, value, kLargestValue);
    return length >= 0 && fsetxattr(to, name, value, static_cast<size_t>(length), 0) == 0;
}

// Copies every extended attribute but the access ACL that this process may
// set; the others are skipped.
void CopyAttributes(int from, int to, char *value) {
    ssize_t length;
    HeapBuffer names = AttributeNames(from, &length);
    for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names.get() + at)) + 1) {
        const char *name = names.get() + at;
        if (std::strcmp(name, kAccessAcl) != 0) CopyAttribute(from, to, name, value);
    }
}

// Gives to from's access ACL, or none when from has none; false when that
// cannot be done, since a lost ACL entry can widen access.
bool KeepAccessAcl(int from, int to, char *value) {
    if (CopyAttribute(from, to, kAccessAcl, value)) return true;
    if (errno != ENODATA && errno != EOPNOTSUPP) return false;
    if (fgetxattr(from, kAccessAcl, nullptr, 0) >= 0) return false;  // read, but not set
    return fremovexattr(to, kAccessAcl) == 0 || errno == ENODATA || errno == EOPNOTSUPP;
}

}  // namespace

KeepResult KeepAttributes(int from, int to) {
    struct stat old;
    if (fstat(from, &old) != 0) return KeepResult::Failed;
    bool ownerRefused;
    bool groupKept = KeepOwnerAndGroup(to, old, &ownerRefused);
    if (ownerRefused) return KeepResult::OwnerRefused;
    HeapBuffer value(static_cast<char *>(malloc(kLargestValue)));
    if (!value) return KeepResult::Failed;
    CopyAttributes(from, to, value.get());
    mode_t mode = old.st_mode & (groupKept ? 0777 : 0707);
    if (fchmod(to, mode) != 0 || !KeepAccessAcl(from, to, value.get())) return KeepResult::Failed;
    return KeepResult::Kept;
}
