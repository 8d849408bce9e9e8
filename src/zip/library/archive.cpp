#include "library/archive.h"

#include "host.h"
#include "library/parallel_close.h"

namespace {

ArchiveObject *gArchives;     // archives opened by scripts, in opening order
uint32_t gArchiveObjectType;  // the object type id the host gave archives

// Two ids are equal when both words are.
bool SameId(const ObjectId &a, const ObjectId &b) { return a.numericId == b.numericId && a.pointerId == b.pointerId; }

// Takes object out of the list; it must be in it.
void UnlinkArchive(ArchiveObject *object) {
    ArchiveObject **link = &gArchives;
    while (*link != object) link = &(*link)->next;
    *link = object->next;
}

}  // namespace

void RegisterArchiveType(ScriptState *L) {
    gArchiveObjectType = host::RegisterObjectType(L, "ZIP archive", reinterpret_cast<ObjectHeader **>(&gArchives),
                                                  ArchiveAttributeHandler);
}

uint32_t ArchiveObjectType() { return gArchiveObjectType; }

void AppendArchive(ArchiveObject *object) {
    ArchiveObject **link = &gArchives;
    while (*link != nullptr) link = &(*link)->next;
    *link = object;
}

ArchiveObject *FindArchive(const ObjectId &id) {
    for (ArchiveObject *object = gArchives; object != nullptr; object = object->next)
        if (SameId(object->id, id)) return object;
    return nullptr;
}

ArchiveObject *ArchiveArg(ScriptState *L) {
    ObjectId id{};
    host::GetIdArg(L, 1, &id);
    return FindArchive(id);
}

zip_uint64_t WidenIndex(int32_t index) { return static_cast<zip_uint64_t>(static_cast<zip_int64_t>(index)); }

zip_uint64_t IndexArg(ScriptState *L, int i) { return WidenIndex(host::GetIntArg(L, i)); }

int ZipError() { return gState.errorZip; }

int ArchiveNotFound() { return gState.errorArchiveNotFound; }

int CheckArchiveIdle(const ArchiveObject *object) {
    return object->use == ArchiveUse::Idle ? 0 : gState.errorArchiveBusy;
}

int CheckArchiveReadable(const ArchiveObject *object) {
    return object->use == ArchiveUse::Closing ? gState.errorArchiveBusy : 0;
}

int CloseArchiveObject(ScriptState *L, ArchiveObject *object, bool discard, CloseProgress *progress) {
    DropNameLookups(&object->names);
    if (discard) {
        zip_discard(object->archive);
    } else {
        object->use = ArchiveUse::Closing;
        const bool written = CloseWithParallelDeflate(object->archive, progress);
        object->use = ArchiveUse::Idle;
        if (!written) return ZipError();
    }
    object->archive = nullptr;
    if (object->defaultPassword) host::FreeMemory(object->defaultPassword);
    object->defaultPassword = nullptr;
    host::ReleaseObject(L, object);
    return 0;
}

int CloseArchiveById(ScriptState *L, const ObjectId &id, bool discard, CloseProgress *progress) {
    ArchiveObject *object = FindArchive(id);
    if (object == nullptr) return 0;
    if (int error = CheckArchiveIdle(object)) return error;
    if (int error = CloseArchiveObject(L, object, discard, progress)) return error;
    // The progress callback may have opened or closed other archives, so
    // the predecessor is looked up only now.
    UnlinkArchive(object);
    host::FreeMemory(object);
    return 0;
}

void DiscardAllArchives(ScriptState *L) {
    ArchiveObject **link = &gArchives;
    while (ArchiveObject *object = *link) {
        if (object->use != ArchiveUse::Idle) {
            link = &object->next;
            continue;
        }
        *link = object->next;
        CloseArchiveObject(L, object, true, nullptr);
        host::FreeMemory(object);
    }
}

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

int ArchiveAttributeHandler(ScriptState *L, int attribute, const ObjectId *id) {
    const ArchiveObject *object = FindArchive(*id);
    if (object == nullptr) return ArchiveNotFound();
    if (attribute != static_cast<int>(kAttributeNumEntries)) return HOSTERR_NOATTRIBUTE;
    if (int error = CheckArchiveReadable(object)) return error;
    host::PushNumber(L, static_cast<double>(zip_get_num_entries(object->archive, 0)));
    return 1;
}
