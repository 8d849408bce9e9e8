// zip.GetFileAtIndex and zip.LocateFile: from an index to a name and back.
#include "host.h"
#include "library/archive.h"
#include "library/commands.h"
#include "library/name_lookup.h"
#include "library/options.h"

int GetFileAtIndex(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveReadable(object)) return busy;
    const char *name = zip_get_name(object->archive, index, 0);
    if (!name) return ZipError();
    host::PushString(L, name);
    return 1;
}

int LocateFile(ScriptState *L) {
    const char *name = host::GetStringArg(L, 2);
    int count = host::GetArgCount(L);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    int nocase = 0;
    int nodir = 0;
    if (count > 2) {
        host::CheckTableArg(L, 3);
        ReadIntOption(L, 3, "nocase", &nocase);
        ReadIntOption(L, 3, "nodir", &nodir);
    }
    if (int busy = CheckArchiveReadable(object)) return busy;
    zip_flags_t flags = (nocase ? ZIP_FL_NOCASE : 0) | (nodir ? ZIP_FL_NODIR : 0);
    host::PushNumber(L, static_cast<double>(LocateName(object, name, flags)));
    return 1;
}
