// zip.OpenArchive, zip.CloseArchive and zip.GetObjectType.
#include "core/archive_changes.h"
#include "core/archive_file.h"
#include "core/host_archive_source.h"
#include "host.h"
#include "library/archive.h"
#include "library/commands.h"
#include "library/progress.h"

namespace {

constexpr int kModeReadWrite = 1004;
constexpr int kModeRead = 1005;
constexpr int kModeNew = 1006;
// The smallest change of libzip's write progress (0 to 1) that libzip
// passes on: below one percent, so that every percent is seen.
constexpr double kProgressPrecision = 0.001;
// Argument positions of zip.CloseArchive's progress function and userdata.
constexpr int kCallbackArg = 3;
constexpr int kUserdataArg = 4;

// libzip open flags for a host mode number; -1 for an unknown mode.
int OpenFlagsForMode(int mode) {
    switch (mode) {
    case kModeRead: return ZIP_RDONLY;
    case kModeReadWrite: return ZIP_CREATE;
    case kModeNew: return ZIP_CREATE | ZIP_TRUNCATE;
    default: return -1;
    }
}

// Opens name with flags: read-only archives through the host's files,
// writable ones through the module's own archive file source, which locks
// the file only while writing it at close. NULL on failure, and at once for
// a FIFO or device, whose opening could block forever.
zip_t *OpenArchiveFile(const char *name, int flags) {
    if (flags == ZIP_RDONLY) return OpenArchiveThroughHost(name, SourceMemory::Host);
    // Nothing may go on serving a version this may replace.
    AnnounceArchiveChange(name);
    return OpenArchiveThroughWritableFile(name, flags, WriteLock::AtWrite);
}

// Passes libzip's write progress on to the close's reports.
void CloseProgressCallback(zip_t *, double progress, void *data) {
    ReportCloseProgress(static_cast<CloseProgress *>(data), progress);
}

}  // namespace

int OpenArchive(ScriptState *L) {
    const char *name = host::GetFileNameArg(L, 2);
    const int mode = host::TruncateToInt32(host::GetOptNumberArg(L, 3, kModeRead));
    ObjectId id{};
    host::GetNewIdArg(L, 1, &id);

    const int flags = OpenFlagsForMode(mode);
    if (flags < 0) return HOSTERR_BADVALUE;
    const bool automatic = id.pointerId != 0;
    if (!automatic) {
        if (int error = CloseArchiveById(L, id, true, nullptr)) return error;
    }
    host::Memory<ArchiveObject> object(static_cast<ArchiveObject *>(host::AllocMemory(sizeof(ArchiveObject), true, "arc")));
    if (!object) return HOSTERR_NOMEMORY;
    object->archive = OpenArchiveFile(name, flags);
    if (object->archive == nullptr) {
        host::SetErrorArgument(name);
        return gState.errorOpenArchive;
    }

    ArchiveObject *record = object.release();
    RememberArchiveFile(record, name);
    record->objectType = ArchiveObjectType();
    record->id = id;
    if (automatic) record->id.pointerId = reinterpret_cast<uintptr_t>(record);
    AppendArchive(record);
    if (!automatic) return 0;
    host::PushPointer(L, record);
    return 1;
}

int CloseArchive(ScriptState *L) {
    const int discard = host::TruncateToInt32(host::GetOptNumberArg(L, 2, 0));
    const int count = host::GetArgCount(L);
    ObjectId id{};
    host::GetIdArg(L, 1, &id);

    ArchiveObject *object = FindArchive(id);
    if (object == nullptr) return ArchiveNotFound();
    if (int error = CheckArchiveIdle(object)) return error;
    CloseProgress progress{L, &id, kCallbackArg, count >= kUserdataArg ? kUserdataArg : 0, -1};
    const bool reportProgress = count >= kCallbackArg && discard == 0;
    if (count >= kCallbackArg) host::CheckFunctionArg(L, kCallbackArg);
    if (reportProgress)
        zip_register_progress_callback_with_state(object->archive, kProgressPrecision, CloseProgressCallback, nullptr,
                                                  &progress);

    const int error = CloseArchiveById(L, id, discard != 0, reportProgress ? &progress : nullptr);
    // After a failed write the archive lives on; it must not keep calling
    // back into this command's finished frame.
    if (error != 0 && reportProgress)
        zip_register_progress_callback_with_state(object->archive, 0, nullptr, nullptr, nullptr);
    // libzip's last report may fall short of the end of a written archive.
    if (error == 0 && reportProgress) ReportCloseProgress(&progress, 1);
    return error;
}

int GetObjectType(ScriptState *L) {
    host::PushInteger(L, ArchiveObjectType());
    return 1;
}
