// Progress reports to script callbacks.
#include "progress.h"

#include "archive.h"
#include "host.h"
#include "library/parallel_close.h"

void ReportCloseProgress(CloseProgress *progress, double fraction) {
    const int percent = static_cast<int>(fraction * kPercent);
    if (percent <= progress->reported) return;
    progress->reported = percent;
    CallProgress(progress->L, progress->callback, "CloseArchive", *progress->id, percent, progress->userdata);
}

int CallProgress(ScriptState *L, int callback, const char *action, const ObjectId &id, int progress, int userdata) {
    // Script code may end in an error that leaves the module: no worker
    // thread may be running then.
    ParkDeflateWorkers();
    host::PushValue(L, callback);
    host::NewTable(L);
    host::PushString(L, "action");
    host::PushString(L, action);
    host::SetTable(L, -3);
    host::PushString(L, "id");
    PushArchiveId(L, id);
    host::SetTable(L, -3);
    host::PushString(L, "progress");
    host::PushInteger(L, progress);
    host::SetTable(L, -3);
    if (userdata != 0) {
        host::PushString(L, "userdata");
        host::PushValue(L, userdata);
        host::SetTable(L, -3);
    }
    host::SetHostControl(HOSTCONTROL_IN_CALLBACK, 1);
    const int result = host::CallFunction(L, 1);
    host::SetHostControl(HOSTCONTROL_IN_CALLBACK, 0);
    return result;
}
