// zip.DeleteFile and zip.RenameFile: entries taken out or given new names.
#include "core/entry_name_length.h"
#include "host.h"
#include "library/archive.h"
#include "library/codepage.h"
#include "library/commands.h"
#include "library/name_lookup.h"
#include "library/options.h"

int DeleteFile(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveIdle(object)) return busy;
    ForgetEntryName(object, index);
    if (zip_delete(object->archive, index) != 0) {
        LearnEntryName(object, index);  // still there: back into the indexes
        return ZipError();
    }
    return 0;
}

int RenameFile(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, 2);
    const char *newName = host::GetStringArg(L, 3);
    const int count = host::GetArgCount(L);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    int encoding = ZIP_FL_ENC_UTF_8;
    if (count > 3) {
        host::CheckTableArg(L, 4);
        ReadIntOption(L, 4, "encoding", &encoding);
    }
    if (int busy = CheckArchiveIdle(object)) return busy;
    host::Memory<char> converted;
    if (encoding == ZIP_FL_ENC_CP437) {
        converted.reset(ConvertToCodePage437(newName));
        if (!converted) return HOSTERR_NOMEMORY;
        newName = converted.get();
    }
    if (!FitsEntryName(newName, false)) return HOSTERR_BADVALUE;
    ForgetEntryName(object, index);
    const bool renamed = zip_file_rename(object->archive, index, newName, static_cast<zip_flags_t>(encoding)) == 0;
    LearnEntryName(object, index);
    if (!renamed) return ZipError();
    return 0;
}
