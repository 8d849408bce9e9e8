// Writing handles: the entry's contents in memory, applied at close.
//
// A writing handle holds no archive between FOpen and FClose. FClose opens
// the archive afresh and applies the one entry to it, so that another
// handle's or an object operation's change made in between is never
// overwritten from a stale view.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "adapter/adapter.h"
#include "adapter/archive_access.h"
#include "adapter/archive_cache.h"
#include "adapter/entry_names.h"
#include "adapter/file_handle.h"
#include "core/entry_metadata.h"

namespace {

constexpr zip_uint64_t kGrowthStep = 65536;

// Makes room for end bytes in the handle's buffer, growing it in steps of
// kGrowthStep (but never beyond limit). False when memory runs out; the
// buffer is then unchanged.
bool Reserve(ZipFileHandle *handle, zip_uint64_t end, zip_uint64_t limit) {
    if (end <= handle->capacity) return true;
    zip_uint64_t capacity = handle->capacity;
    while (capacity < end) capacity += kGrowthStep;
    if (capacity > limit) capacity = end;
    void *grown = realloc(handle->data, capacity);
    if (!grown) return false;
    handle->data = static_cast<char *>(grown);
    handle->capacity = capacity;
    return true;
}

// Reads the whole stream into the handle's buffer. The buffer grows with
// the data that really arrives, so a damaged size field cannot make it
// reserve memory the entry does not fill; the end is checked like a read's.
bool ReadWholeEntry(ZipFileHandle *handle, EntryReader *reader) {
    zip_uint64_t size = handle->stat.size;
    while (static_cast<zip_uint64_t>(handle->length) < size) {
        zip_uint64_t done = static_cast<zip_uint64_t>(handle->length);
        zip_uint64_t want = done + kGrowthStep > size ? size - done : kGrowthStep;
        if (!Reserve(handle, done + want, size)) return false;
        if (!ReadEntry(reader, handle->data + done, want)) return false;
        handle->length += static_cast<int64_t>(want);
    }
    return size > 0 || ReadEntry(reader, handle->data, 0);
}

// Loads the entry's current contents, if the entry exists.
bool LoadContents(ZipFileHandle *handle) {
    zip_int64_t index = FindEntry(handle->archive, handle->innerPath);
    if (index < 0) return true;
    if (zip_stat_index(handle->archive, static_cast<zip_uint64_t>(index), 0, &handle->stat) != 0) return false;
    if (!(handle->stat.valid & ZIP_STAT_SIZE) || handle->stat.size > kMaxMemoryContents) return false;
    EntryReader *reader = OpenEntryStream(handle);
    if (!reader) return false;
    bool read = ReadWholeEntry(handle, reader);
    CloseEntryReader(reader);
    handle->loaded = read;
    return read;
}

// Whether the entry a read-write handle loaded is still what the archive
// holds: writing back over a newer version would lose that version.
bool EntryUnchanged(const ZipFileHandle *handle, zip_t *archive, zip_int64_t index) {
    if (!handle->loaded || index < 0) return !handle->loaded && index < 0;
    zip_stat_t now;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &now) != 0) return false;
    return now.size == handle->stat.size && now.crc == handle->stat.crc && now.mtime == handle->stat.mtime &&
           now.comp_method == handle->stat.comp_method;
}

// Puts source in as the handle's entry: over the entry the host's name
// finds (as every lookup of the adapter does), under its stored name, else
// as a new entry. Returns its index, or -1 (source then still the caller's).
zip_int64_t PlaceEntry(zip_t *archive, const char *name, zip_int64_t existing, zip_source_t *source) {
    if (existing >= 0) return zip_file_replace(archive, static_cast<zip_uint64_t>(existing), source, 0) == 0 ? existing : -1;
    return zip_file_add(archive, name, source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
}

// Gives the placed entry what a new file on disk would have: a new entry
// mode 0644, a replaced one keeps its mode; both lose time fields that
// would still tell readers the old contents' time.
bool SetFileMetadata(zip_t *archive, zip_int64_t index, bool replaced) {
    auto entry = static_cast<zip_uint64_t>(index);
    if (!replaced && !SetEntryUnixMode(archive, entry, false, kDefaultFileMode)) return false;
    return DropTimeFields(archive, entry);
}

// The method the entry at index is encrypted with, or ZIP_EM_NONE (also
// for no entry).
zip_uint16_t EncryptionOf(zip_t *archive, zip_int64_t index) {
    zip_stat_t stat;
    if (index < 0 || zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) return ZIP_EM_NONE;
    return (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) ? stat.encryption_method : ZIP_EM_NONE;
}

// Encrypts the entry as the user tags asked; with a password but no method,
// a replaced encrypted entry keeps its method, so that editing a secret
// never leaves it in the clear. Without a password the entry is clear.
bool SetEncryption(zip_t *archive, zip_int64_t index, const ZipFileHandle *handle, zip_uint16_t oldMethod) {
    zip_uint16_t method = handle->encryption != ZIP_EM_NONE ? handle->encryption : oldMethod;
    bool encrypt = method != ZIP_EM_NONE && handle->password[0];
    return zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), encrypt ? method : ZIP_EM_NONE,
                                   encrypt ? handle->password : nullptr) == 0;
}

// Adds the handle's contents to archive; false when libzip refuses or a new
// entry would share its name with a folder or lie below a file.
bool AddContents(zip_t *archive, const ZipFileHandle *handle) {
    zip_int64_t existing = FindEntry(archive, handle->innerPath);
    if (handle->readWrite && !EntryUnchanged(handle, archive, existing)) return false;
    if (existing < 0 && ClashesWithEntries(archive, handle->innerPath, false, MovingEntries{-1, nullptr})) return false;
    zip_uint16_t oldMethod = EncryptionOf(archive, existing);
    zip_source_t *source = zip_source_buffer(archive, handle->data, static_cast<zip_uint64_t>(handle->length), 0);
    if (!source) return false;
    zip_int64_t index = PlaceEntry(archive, handle->innerPath, existing, source);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    return SetFileMetadata(archive, index, existing >= 0) && SetEncryption(archive, index, handle, oldMethod);
}

}  // namespace

bool OpenForWriting(ZipFileHandle *handle, bool loadContents) {
    handle->archive = OpenToLoadThroughLibzip(handle->archivePath);
    if (!handle->archive) return false;
    handle->writing = true;
    handle->readWrite = loadContents;
    bool ready = !loadContents || LoadContents(handle);
    zip_discard(handle->archive);
    handle->archive = nullptr;
    return ready;
}

bool WriteBack(const ZipFileHandle *handle) {
    // A scan opened since FOpen relies on the file staying as it saw it.
    if (FindZipDirHandle(handle->archivePath)) {
        errno = EBUSY;
        return false;
    }
    zip_t *archive = OpenForChangeThroughWritableFile(handle->archivePath);
    if (!archive) return false;
    if (!AddContents(archive, handle)) {
        zip_discard(archive);
        errno = EIO;
        return false;
    }
    bool written = WriteArchiveBack(archive);
    ForgetArchive(handle->archivePath);
    return written;
}

ZIP_EXPORT int32_t FWrite(void *file, const void *data, int32_t count) {
    auto *handle = static_cast<ZipFileHandle *>(file);
    if (!handle->writing || count <= 0) return 0;
    zip_uint64_t position = static_cast<zip_uint64_t>(handle->position);
    zip_uint64_t end = position + static_cast<zip_uint64_t>(count);
    if (end > kMaxMemoryContents || !Reserve(handle, end, kMaxMemoryContents)) return 0;
    zip_uint64_t length = static_cast<zip_uint64_t>(handle->length);
    if (position > length) std::memset(handle->data + length, 0, position - length);
    std::memcpy(handle->data + position, data, static_cast<size_t>(count));
    handle->position = static_cast<int64_t>(end);
    if (handle->position > handle->length) handle->length = handle->position;
    return count;
}

ZIP_EXPORT int FPutC(void *file, int character) {
    unsigned char byte = static_cast<unsigned char>(character);
    return FWrite(file, &byte, 1);
}
