// The list of archives opened by scripts: lookup, closing and the
// attribute handler the host calls for them.
#include "archive.h"

#include "host.h"
#include "library/parallel_close.h"

namespace {

constexpr int kAttributeNumEntries = 32768;

// Two ids are equal when both words are.
bool SameId(const ObjectId &a, const ObjectId &b) { return a.numericId == b.numericId && a.pointerId == b.pointerId; }

// Takes object out of the list; it must be in it.
void UnlinkArchive(ArchiveObject *object) {
    ArchiveObject **link = &gState.archives;
    while (*link != object) link = &(*link)->next;
    *link = object->next;
}

}  // namespace

// The first archive open under id, or NULL.
ArchiveObject *FindArchive(const ObjectId &id) {
    for (ArchiveObject *object = gState.archives; object != nullptr; object = object->next)
        if (SameId(object->id, id)) return object;
    return nullptr;
}

// Reads the id of argument 1 and finds its archive; NULL if none. raises
ArchiveObject *ArchiveArg(ScriptState *L) {
    ObjectId id{};
    host::GetIdArg(L, 1, &id);
    return FindArchive(id);
}

// The one error code for every failed libzip call of a command.
int ZipError() { return gState.errorZip; }

// Refused while a callback runs inside any command that uses the archive.
int CheckArchiveIdle(const ArchiveObject *object) {
    return object->use == ArchiveUse::Idle ? 0 : gState.errorArchiveBusy;
}

// Refused only while the archive is being written.
int CheckArchiveReadable(const ArchiveObject *object) {
    return object->use == ArchiveUse::Closing ? gState.errorArchiveBusy : 0;
}

// Writes (or discards) the archive and tells the host it is gone. A failed
// write returns ZipError() and leaves the archive open and unchanged.
int CloseArchiveObject(ScriptState *L, ArchiveObject *object, bool discard) {
    if (discard) {
        zip_discard(object->archive);
    } else {
        object->use = ArchiveUse::Closing;
        const int result = CloseWithParallelDeflate(object->archive);
        object->use = ArchiveUse::Idle;
        if (result != 0) return ZipError();
    }
    object->archive = nullptr;
    if (object->defaultPassword) host::FreeMemory(object->defaultPassword);
    object->defaultPassword = nullptr;
    host::ReleaseObject(L, object);
    return 0;
}

// Closes the archive open under id and frees its record. Returns 0 (also
// for an unknown id), errorArchiveBusy while a command uses it, or the
// error of a failed write (the archive then stays open).
int CloseArchiveById(ScriptState *L, const ObjectId &id, bool discard) {
    ArchiveObject *object = FindArchive(id);
    if (object == nullptr) return 0;
    if (int error = CheckArchiveIdle(object)) return error;
    if (int error = CloseArchiveObject(L, object, discard)) return error;
    // The progress callback may have opened or closed other archives, so
    // the predecessor is looked up only now.
    UnlinkArchive(object);
    host::FreeMemory(object);
    return 0;
}

// Discards every archive not in use by a running command.
void DiscardAllArchives(ScriptState *L) {
    ArchiveObject **link = &gState.archives;
    while (ArchiveObject *object = *link) {
        if (object->use != ArchiveUse::Idle) {
            link = &object->next;
            continue;
        }
        *link = object->next;
        CloseArchiveObject(L, object, true);
        host::FreeMemory(object);
    }
}

// Automatic ids go back as the pointer, script numbers as numbers.
void RememberArchiveFile(ArchiveObject *object, const char *name) {
    object->hasFile = IdentifyFile(name, &object->file);
}

bool IsArchiveFile(const ArchiveObject *object, const char *name) {
    return object->hasFile && PathNamesFile(name, object->file);
}

void PushArchiveId(ScriptState *L, const ObjectId &id) {
    if (id.pointerId != 0)
        host::PushPointer(L, reinterpret_cast<void *>(id.pointerId));
    else
        host::PushInteger(L, id.numericId);
}

// Answers ZIPATTRNUMENTRIES with the entry count (deleted entries included
// until the archive is closed). Returns 1, or the error code.
int ArchiveAttributeHandler(ScriptState *L, int attribute, const ObjectId *id) {
    const ArchiveObject *object = FindArchive(*id);
    if (object == nullptr) return gState.errorArchiveNotFound;
    if (attribute != kAttributeNumEntries) return HOSTERR_NOATTRIBUTE;
    if (int error = CheckArchiveReadable(object)) return error;
    host::PushNumber(L, static_cast<double>(zip_get_num_entries(object->archive, 0)));
    return 1;
}
