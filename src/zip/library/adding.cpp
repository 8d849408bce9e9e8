// zip.AddFile and zip.AddDirectory: new entries, written when the archive
// is closed.
#include <cstring>
#include <iterator>
#include <memory>

#include "core/entry_metadata.h"
#include "core/entry_name_length.h"
#include "host.h"
#include "library/archive.h"
#include "library/codepage.h"
#include "library/commands.h"
#include "library/entry_changes.h"
#include "library/host_file_stream.h"
#include "library/options.h"

namespace {

// Stack position of the options table of both commands.
constexpr int kOptionsArg = 3;

// A string option copied out of the options table.
struct StringOption {
    host::Memory<char> text;  // the copy in host memory, NULL when absent
    size_t length = 0;        // its length in bytes
};

// The options table of zip.AddFile, at their defaults.
struct AddFileOptions {
    int encryption = ZIP_EM_NONE;        // encryption method, 0 for none
    int compression = ZIP_CM_DEFAULT;    // compression method, -1 for libzip's default
    int compressionFlags = 0;            // compression level, used with compression only
    int encoding = ZIP_FL_ENC_UTF_8;     // libzip flags of the name and the comment
    StringOption password;               // password of the encryption
    StringOption newName;                // the entry's name instead of the file's
    StringOption comment;                // the entry's comment
    StringOption time;                   // the entry's time as a date string
};

// Frees a libzip source that no archive has taken over.
struct SourceRelease {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};
using Source = std::unique_ptr<zip_source_t, SourceRelease>;

// The options of zip.AddFile in the order they are fetched: four numbers,
// then four strings.
constexpr const char *kIntOptionKeys[] = {"encryption", "compression", "compressionflags", "encoding"};
constexpr const char *kStringOptionKeys[] = {"password", "newname", "comment", "time"};
constexpr int kOptionCount = std::size(kIntOptionKeys) + std::size(kStringOptionKeys);

// Fetches every option onto the stack, checking the strings' types, before
// anything is copied; returns the stack index of the first. raises
int FetchAddFileOptions(ScriptState *L) {
    const int first = FetchOption(L, kOptionsArg, kIntOptionKeys[0]);
    for (size_t i = 1; i < std::size(kIntOptionKeys); i++) FetchOption(L, kOptionsArg, kIntOptionKeys[i]);
    for (const char *key : kStringOptionKeys) FetchStringOption(L, kOptionsArg, key);
    return first;
}

// Reads the fetched options from the stack, the first at index first.
// Returns 0, or HOSTERR_NOMEMORY when a string cannot be copied.
int ReadAddFileOptions(ScriptState *L, int first, AddFileOptions *options) {
    int *numbers[] = {&options->encryption, &options->compression, &options->compressionFlags, &options->encoding};
    for (size_t i = 0; i < std::size(numbers); i++) ReadIntValue(L, first + static_cast<int>(i), numbers[i]);
    StringOption *strings[] = {&options->password, &options->newName, &options->comment, &options->time};
    const int firstString = first + static_cast<int>(std::size(numbers));
    for (size_t i = 0; i < std::size(strings); i++)
        if (!CopyStringValue(L, firstString + static_cast<int>(i), &strings[i]->text, &strings[i]->length))
            return HOSTERR_NOMEMORY;
    return 0;
}

// Turns the outcome of MakeStreamSource into the command's error code.
int StreamSourceError(StreamSourceResult result, const char *file) {
    switch (result) {
    case StreamSourceResult::Made: return 0;
    case StreamSourceResult::CannotOpen: host::SetErrorArgument(file); return HOSTERR_OPENFILE;
    case StreamSourceResult::NoMemory: return HOSTERR_NOMEMORY;
    case StreamSourceResult::ZipFailed: break;
    }
    return ZipError();
}

// Whether names and comments are to be converted to code page 437.
bool WantsCodePage437(int encoding) { return encoding == ZIP_FL_ENC_CP437; }

// Text as the entry stores it: a code page 437 copy in *converted when
// encoding asks for one, else text itself. NULL without memory.
const char *EntryText(const char *text, int encoding, host::Memory<char> *converted) {
    if (!WantsCodePage437(encoding)) return text;
    converted->reset(ConvertToCodePage437(text));
    return converted->get();
}

// Sets the entry's comment option, converted as the name is. Returns 0,
// HOSTERR_NOMEMORY, HOSTERR_BADVALUE or the zip error.
int SetCommentOption(zip_t *archive, zip_uint64_t index, const AddFileOptions &options) {
    host::Memory<char> converted;
    const char *text = EntryText(options.comment.text.get(), options.encoding, &converted);
    if (text == nullptr) return HOSTERR_NOMEMORY;
    const size_t length = converted ? std::strlen(text) : options.comment.length;
    return SetEntryComment(archive, index, text, length, static_cast<zip_flags_t>(options.encoding));
}

// Applies encryption, compression, comment and time to the new entry, in
// that order, stopping at the first failure. Returns 0 or its error code.
int ApplyEntryOptions(zip_t *archive, zip_uint64_t index, const AddFileOptions &options) {
    if (options.encryption != ZIP_EM_NONE)
        if (int error = SetEntryEncryption(archive, index, options.encryption, options.password.text.get())) return error;
    if (options.compression != ZIP_CM_DEFAULT)
        if (int error = SetEntryCompression(archive, index, options.compression, options.compressionFlags)) return error;
    if (options.comment.text)
        if (int error = SetCommentOption(archive, index, options)) return error;
    if (options.time.text)
        if (int error = SetEntryTime(archive, index, options.time.text.get())) return error;
    return 0;
}

// Adds the file as a new entry whose data is read only when the archive is
// written, and tells the file's permission bits. Returns the entry's index,
// or -1 with *error set.
zip_int64_t AddFileEntry(zip_t *archive, const char *file, const AddFileOptions &options, uint32_t *permissions,
                         int *error) {
    const char *name = options.newName.text ? options.newName.text.get() : host::GetFileNamePart(file);
    host::Memory<char> converted;
    name = EntryText(name, options.encoding, &converted);
    *error = name == nullptr ? HOSTERR_NOMEMORY : !FitsEntryName(name, false) ? HOSTERR_BADVALUE : 0;
    if (*error) return -1;
    zip_source_t *made = nullptr;
    HostFileStream *record = nullptr;
    *error = StreamSourceError(MakeStreamSource(archive, file, &made, permissions, &record), file);
    if (*error) return -1;
    Source source(made);
    const zip_int64_t index = zip_file_add(archive, name, source.get(), static_cast<zip_flags_t>(options.encoding));
    if (index < 0) {
        *error = ZipError();
        return -1;
    }
    source.release();  // the archive owns it now
    RegisterPendingFile(record, archive, static_cast<zip_uint64_t>(index));
    return index;
}

// Adds the file and applies its options; returns 1 with the index pushed,
// or the error code. A failure after the entry was added leaves it in the
// archive.
int AddFileWithOptions(ScriptState *L, ArchiveObject *object, const char *file, const AddFileOptions &options) {
    zip_t *archive = object->archive;
    int error = 0;
    uint32_t permissions = 0;
    const zip_int64_t countBefore = zip_get_num_entries(archive, 0);
    const zip_int64_t index = AddFileEntry(archive, file, options, &permissions, &error);
    if (index < 0) return error;
    LearnAddedEntry(object, static_cast<zip_uint64_t>(index), countBefore);
    // An entry replaced under ZIP_FL_OVERWRITE would keep the old entry's
    // time fields, which readers prefer to the new file's time.
    if (!SetEntryUnixMode(archive, static_cast<zip_uint64_t>(index), false, permissions) ||
        !DropTimeFields(archive, static_cast<zip_uint64_t>(index)))
        return ZipError();
    if (int failed = ApplyEntryOptions(archive, static_cast<zip_uint64_t>(index), options)) return failed;
    host::PushNumber(L, static_cast<double>(index));
    return 1;
}

}  // namespace

int AddFile(ScriptState *L) {
    const char *file = host::GetStringArg(L, 2);
    const int count = host::GetArgCount(L);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    const bool hasOptions = count >= kOptionsArg;
    if (hasOptions) host::CheckTableArg(L, kOptionsArg);
    const int first = hasOptions ? FetchAddFileOptions(L) : 0;
    // Nothing below raises: the copies are released on every way out.
    AddFileOptions options;
    if (hasOptions) {
        StackSlots fetched(L, kOptionCount);
        if (int error = ReadAddFileOptions(L, first, &options)) return error;
    }
    if (int busy = CheckArchiveIdle(object)) return busy;
    return AddFileWithOptions(L, object, file, options);
}

int AddDirectory(ScriptState *L) {
    const char *directory = host::GetStringArg(L, 2);
    const int count = host::GetArgCount(L);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    int encoding = ZIP_FL_ENC_UTF_8;
    if (count >= kOptionsArg) {
        host::CheckTableArg(L, kOptionsArg);
        ReadIntOption(L, kOptionsArg, "encoding", &encoding);
    }
    if (int busy = CheckArchiveIdle(object)) return busy;
    host::Memory<char> converted;
    const char *name = EntryText(directory, encoding, &converted);
    if (name == nullptr) return HOSTERR_NOMEMORY;
    if (!FitsEntryName(name, true)) return HOSTERR_BADVALUE;
    const zip_int64_t countBefore = zip_get_num_entries(object->archive, 0);
    const zip_int64_t index = zip_dir_add(object->archive, name, static_cast<zip_flags_t>(encoding));
    if (index < 0) return ZipError();
    LearnAddedEntry(object, static_cast<zip_uint64_t>(index), countBefore);
    if (!SetEntryUnixMode(object->archive, static_cast<zip_uint64_t>(index), true, kDirectoryMode)) return ZipError();
    host::PushNumber(L, static_cast<double>(index));
    return 1;
}
