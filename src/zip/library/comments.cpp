// zip.GetFileComment and zip.SetFileComment: comments of an entry or, for
// index -1, of the whole archive.
#include "host.h"
#include "library/archive.h"
#include "library/commands.h"
#include "library/entry_changes.h"

namespace {

// The index that names the archive itself rather than an entry.
constexpr int32_t kArchiveIndex = -1;

// The optional index argument at position i, -1 when absent.
int32_t OptionalIndexArg(ScriptState *L, int i) {
    return host::TruncateToInt32(host::GetOptNumberArg(L, i, kArchiveIndex));
}

// The archive's or the entry's current comment and its length; NULL when
// there is none to give.
const char *CurrentComment(const ArchiveObject *object, int32_t index, size_t *length) {
    zip_t *archive = object->archive;
    *length = 0;
    if (index == kArchiveIndex) {
        // libzip answers the original comment until the close even after
        // it was removed, so the removal is remembered here.
        if (object->commentRemoved) return nullptr;
        int archiveLength = 0;
        const char *text = zip_get_archive_comment(archive, &archiveLength, 0);
        *length = text ? static_cast<size_t>(archiveLength) : 0;
        return text;
    }
    zip_uint32_t entryLength = 0;
    const char *text = zip_file_get_comment(archive, WidenIndex(index), &entryLength, 0);
    *length = text ? entryLength : 0;
    return text;
}

// Sets or, for length 0, removes the archive's comment. Returns 0,
// HOSTERR_BADVALUE for a comment longer than a header holds, or the zip
// error.
int SetArchiveComment(ArchiveObject *object, const char *comment, size_t length) {
    if (length > kMaxCommentLength) return HOSTERR_BADVALUE;
    if (length == 0) comment = nullptr;
    if (zip_set_archive_comment(object->archive, comment, static_cast<zip_uint16_t>(length)) != 0) return ZipError();
    object->commentRemoved = comment == nullptr;
    return 0;
}

}  // namespace

int GetFileComment(ScriptState *L) {
    const int32_t index = OptionalIndexArg(L, 2);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveReadable(object)) return busy;
    size_t length = 0;
    const char *text = CurrentComment(object, index, &length);
    host::PushStringLen(L, text ? text : "", length);
    return 1;
}

int SetFileComment(ScriptState *L) {
    size_t length = 0;
    const char *comment = host::GetOptStringArg(L, 2, nullptr, &length);
    const int32_t index = OptionalIndexArg(L, 3);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    if (int busy = CheckArchiveIdle(object)) return busy;
    if (comment == nullptr) length = 0;
    if (index == kArchiveIndex) return SetArchiveComment(object, comment, length);
    return SetEntryComment(object->archive, WidenIndex(index), comment, length, 0);
}
