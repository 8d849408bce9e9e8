// zip.SetFileTime, zip.SetDefaultPassword, zip.SetFileEncryption and
// zip.SetFileCompression: how entries are to be written.
#include <cstring>

#include "host.h"
#include "library/archive.h"
#include "library/commands.h"
#include "library/entry_changes.h"

namespace {

// A copy of password in host memory; NULL when memory runs out.
char *CopyPassword(const char *password) {
    size_t size = std::strlen(password) + 1;
    auto *copy = static_cast<char *>(host::AllocMemory(size, false, "zippwd"));
    if (copy) std::memcpy(copy, password, size);
    return copy;
}

}  // namespace

int SetFileTime(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    const char *text = host::GetStringArg(L, 3);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveIdle(object)) return busy;
    return SetEntryTime(object->archive, index, text);
}

int SetDefaultPassword(ScriptState *L) {
    const char *password = host::GetStringArg(L, 2);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveIdle(object)) return busy;
    // The module keeps a copy: checking an AES entry's code needs it.
    host::Memory<char> copy(password[0] ? CopyPassword(password) : nullptr);
    if (password[0] && !copy) return HOSTERR_NOMEMORY;
    // libzip drops the old password before copying the new one, so a
    // failure leaves none: the script must learn of it.
    bool failed = zip_set_default_password(object->archive, copy.get()) != 0;
    if (object->defaultPassword) host::FreeMemory(object->defaultPassword);
    object->defaultPassword = failed ? nullptr : copy.release();
    return failed ? ZipError() : 0;
}

int SetFileEncryption(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    const int method = host::GetIntArg(L, 3);
    const char *password = host::GetOptStringArg(L, 4, nullptr, nullptr);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveIdle(object)) return busy;
    return SetEntryEncryption(object->archive, index, method, password);
}

int SetFileCompression(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    const int method = host::GetIntArg(L, 3);
    const int level = host::TruncateToInt32(host::GetOptNumberArg(L, 4, 0));
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveIdle(object)) return busy;
    return SetEntryCompression(object->archive, index, method, level);
}
