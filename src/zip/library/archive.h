// Archives opened by scripts: the record, its object type, the list and the
// lookup by id.
#pragma once

#include <zip.h>

#include "core/file_identity.h"
#include "library/name_lookup.h"

#include "plugin.h"

struct CloseProgress;

// The attribute number of ZIPATTRNUMENTRIES: an archive's entry count.
constexpr uint32_t kAttributeNumEntries = 32768;

// What a running command is doing with an archive. A script callback runs
// inside such a command; it must not pull the archive out from under it.
enum class ArchiveUse : uint32_t {
    Idle = 0,
    Reading,  // an extraction reads from it: closing or reopening is refused
    Closing,  // zip_close is writing it: every command on it is refused
};

// One archive opened by zip.OpenArchive. The first fields are the object
// header the host walks (objectType, id, reserved, next).
struct ArchiveObject {
    uint32_t objectType;  // ArchiveObjectType()
    ObjectId id;          // the script's id; pointerId != 0 for automatic ids
    uint32_t reserved;    // left zero
    ArchiveObject *next;  // next record, NULL at the end
    zip_t *archive;       // the libzip archive, owned by the record
    ArchiveUse use;       // guards the archive while a callback runs
    bool commentRemoved;  // the archive comment is removed but not yet written
    bool hasFile;         // file holds the archive's file on disk
    FileIdentity file;    // the file the archive was opened from
    char *defaultPassword;  // copy of libzip's default password (host memory), or NULL
    NameLookups names;      // lookups ignoring case or directories (process heap)
};

static_assert(offsetof(ArchiveObject, id) == offsetof(ObjectHeader, id));
static_assert(offsetof(ArchiveObject, next) == offsetof(ObjectHeader, next));

// Registers the object type "ZIP archive" over the list of open archives;
// the host walks that list for host.objects and attributes.
void RegisterArchiveType(ScriptState *L);

// The object type id of archives (0 before RegisterArchiveType).
uint32_t ArchiveObjectType();

// Appends object at the tail of the list, keeping opening order.
void AppendArchive(ArchiveObject *object);

// The first archive whose id equals id, or NULL.
ArchiveObject *FindArchive(const ObjectId &id);

// Reads the archive id of argument 1 and finds the archive; NULL when none
// is open under it (the caller returns ArchiveNotFound()). raises
ArchiveObject *ArchiveArg(ScriptState *L);

// A script's entry index as libzip takes it, widened with its sign so that
// negative ones are far out of range.
zip_uint64_t WidenIndex(int32_t index);

// The entry index argument at position i, widened like WidenIndex. raises
zip_uint64_t IndexArg(ScriptState *L, int i);

// The error code a command returns for a failed libzip call.
int ZipError();
// The error code a command returns for an id no archive is open under.
int ArchiveNotFound();

// 0 when a command may change or close the archive, else the error to
// return: refused while a callback runs inside any command that uses it.
int CheckArchiveIdle(const ArchiveObject *object);
// 0 when a command may read from the archive, else the error to return:
// refused only while the archive is being written.
int CheckArchiveReadable(const ArchiveObject *object);

// Closes one record's archive (writing unless discard, with progress
// reports when progress is not NULL) and tells the host. Returns 0, or
// ZipError() when writing failed: the archive then stays open with its
// pending changes and the host is not told.
int CloseArchiveObject(ScriptState *L, ArchiveObject *object, bool discard, CloseProgress *progress);

// Finds, closes, unlinks and frees the archive open under id; an id not in
// the list is ignored. Returns 0, the busy error while a command uses it, or
// the error of CloseArchiveObject (the archive then stays open).
int CloseArchiveById(ScriptState *L, const ObjectId &id, bool discard, CloseProgress *progress);

// Discards every archive not in use by a running command (FreeLibrary).
void DiscardAllArchives(ScriptState *L);

// Notes which file on disk the archive was opened from, if it names one.
void RememberArchiveFile(ArchiveObject *object, const char *name);
// True when name is the very file the archive was opened from: writing to
// it would destroy the data being read.
bool IsArchiveFile(const ArchiveObject *object, const char *name);

// Pushes an archive id the way scripts see it: an automatic id as the
// pointer, a script's number as the number.
void PushArchiveId(ScriptState *L, const ObjectId &id);

// Answers ZIPATTRNUMENTRIES with the entry count (deleted entries included
// until the archive is closed). Returns 1, or the error code.
int ArchiveAttributeHandler(ScriptState *L, int attribute, const ObjectId *id);
