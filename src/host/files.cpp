#include "files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "adapters.h"
#include "faults.h"
#include "info.h"
#include "sources.h"

// One open host file.
struct HostFile {
    const FileAdapter *adapter = nullptr;  // the adapter serving it, or NULL
    void *handle = nullptr;                // the adapter's handle
    const char *adapterName = nullptr;     // the name the adapter gave (FOpen tag 7)
    int fd = -1;                           // descriptor of a real file, or -1
    sources::Source *source = nullptr;     // the memory source served, or NULL
    int64_t position = 0;                  // position of a file the host serves
    int readers = 0;                       // memory sources reading from it
    bool closePending = false;             // closed by its owner while readers remain
    std::string name;                      // the name it was opened under
};

namespace files {
namespace {

// Most tags a caller of Open may hand on to an adapter.
constexpr int kMaxExtraTags = 8;

// The open(2) flags for a host mode; -1 for a mode that is none.
int OpenFlags(int mode) {
    switch (mode & ~FMODE_DIRECT) {
        case FMODE_WRITE: return O_WRONLY | O_CREAT | O_TRUNC;
        case FMODE_READWRITE: return O_RDWR | O_CREAT;
        case FMODE_READ: return O_RDONLY;
        default: return -1;
    }
}

// Offers name to every adapter; the first file one serves, or NULL.
HostFile *OpenThroughAdapter(const char *name, int mode, const TagItem *extraTags) {
    const auto &adapters = adapters::Installed();
    if (adapters.empty()) return nullptr;
    const char *adapterName = nullptr;
    TagItem tags[kMaxExtraTags + 2];
    int n = 0;
    for (; extraTags && extraTags[n].tag != TAG_DONE && n < kMaxExtraTags; ++n) tags[n] = extraTags[n];
    tags[n++] = {FOPENTAG_NAME, reinterpret_cast<uintptr_t>(&adapterName)};
    tags[n] = {TAG_DONE, 0};
    for (const auto &adapter : adapters) {
        void *handle = adapter->fopen(name, mode, tags);
        if (handle == nullptr) continue;
        HostFile *file = new HostFile;
        file->adapter = adapter.get();
        file->handle = handle;
        file->adapterName = adapterName;
        file->name = name;
        return file;
    }
    return nullptr;
}

// Opens a memory source by its name; NULL with errno set on failure.
HostFile *OpenSource(sources::Source *source, const char *name, int mode) {
    if ((mode & ~FMODE_DIRECT) != FMODE_READ) {
        errno = EACCES;
        return nullptr;
    }
    HostFile *file = new HostFile;
    file->source = source;
    file->name = name;
    sources::Opened(source);
    return file;
}

// Opens name on the real file system; NULL with errno set on failure.
HostFile *OpenReal(const char *name, int mode) {
    int flags = OpenFlags(mode);
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = open(name, flags | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    HostFile *file = new HostFile;
    file->fd = fd;
    file->name = name;
    return file;
}

// Really closes file and frees the record; false when the close failed.
bool Dispose(HostFile *file) {
    bool ok = true;
    if (file->adapter) ok = file->adapter->fclose(file->handle) != 0;
    if (file->fd >= 0) ok = close(file->fd) == 0;
    if (file->source) sources::Closed(file->source);
    delete file;
    return ok;
}

// Reads from a file the host serves at its position.
int32_t ReadServed(HostFile *file, void *buffer, int32_t count) {
    int64_t got = ReadAt(file, static_cast<uint64_t>(file->position), buffer, static_cast<size_t>(count));
    if (got < 0) return -1;
    file->position += got;
    return static_cast<int32_t>(got);
}

// Reads through the adapter. Adapters report an end and a failure alike as
// 0 bytes; only FEof tells them apart, and a failure must not pass as an end.
int32_t ReadThroughAdapter(HostFile *file, void *buffer, int32_t count) {
    int32_t got = file->adapter->fread(file->handle, buffer, count);
    if (got < 0 || (got == 0 && count > 0 && !file->adapter->feof(file->handle))) {
        errno = EIO;
        return -1;
    }
    return got;
}

// Writes count bytes to a real file at its position.
int32_t WriteReal(HostFile *file, const void *buffer, int32_t count) {
    const char *bytes = static_cast<const char *>(buffer);
    int32_t done = 0;
    while (done < count) {
        ssize_t n = pwrite(file->fd, bytes + done, static_cast<size_t>(count - done), file->position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<int32_t>(n);
    }
    file->position += done;
    return done;
}

}  // namespace

HostFile *Open(const char *name, int mode, const TagItem *extraTags) {
    if (!(mode & FMODE_DIRECT)) {
        if (HostFile *file = OpenThroughAdapter(name, mode, extraTags)) return file;
    }
    if (faults::IoFailureDue(faults::IoKind::Open)) {
        errno = EIO;
        return nullptr;
    }
    if (sources::Source *source = sources::Find(name)) return OpenSource(source, name, mode);
    return OpenReal(name, mode);
}

bool Close(HostFile *file) {
    if (file == nullptr) return true;
    if (file->readers > 0) {
        file->closePending = true;
        return true;
    }
    return Dispose(file);
}

int64_t Seek(HostFile *file, int64_t position, int mode) {
    if (file->adapter) return file->adapter->fseek(file->handle, position, mode);
    if (faults::IoFailureDue(faults::IoKind::Seek)) return -1;
    int64_t base;
    switch (mode) {
        case SEEK_FROM_CURRENT: base = file->position; break;
        case SEEK_FROM_START: base = 0; break;
        case SEEK_FROM_END: base = Length(file); break;
        default: return -1;
    }
    if (base < 0 || (position < 0 && base + position < 0)) return -1;
    int64_t before = file->position;
    file->position = base + position;
    return before;
}

int32_t Read(HostFile *file, void *buffer, int32_t count) {
    if (count < 0) return -1;
    if (file->adapter) return ReadThroughAdapter(file, buffer, count);
    if (faults::IoFailureDue(faults::IoKind::Read)) {
        errno = EIO;
        return -1;
    }
    return ReadServed(file, buffer, count);
}

int32_t Write(HostFile *file, const void *buffer, int32_t count) {
    if (count < 0) return -1;
    if (file->adapter) return file->adapter->fwrite(file->handle, buffer, count);
    if (faults::IoFailureDue(faults::IoKind::Write)) {
        errno = EIO;
        return -1;
    }
    if (file->fd < 0) return -1;
    return WriteReal(file, buffer, count);
}

int GetC(HostFile *file) {
    if (file->adapter) return file->adapter->fgetc(file->handle);
    unsigned char byte;
    return Read(file, &byte, 1) == 1 ? byte : -1;
}

bool PutC(HostFile *file, int byte) {
    if (file->adapter) return file->adapter->fputc(file->handle, byte) == 1;
    unsigned char low = static_cast<unsigned char>(byte);
    return Write(file, &low, 1) == 1;
}

bool AtEnd(HostFile *file) {
    if (file->adapter) return file->adapter->feof(file->handle) != 0;
    int64_t length = Length(file);
    return length < 0 || file->position >= length;
}

bool Examine(HostFile *file, int flags, FSObjInfo *record) {
    *record = {};
    if (file->adapter) return file->adapter->fstat(file->handle, flags, record) != 0;
    if (faults::IoFailureDue(faults::IoKind::Examine)) return false;
    if (file->fd >= 0) {
        struct stat st;
        if (fstat(file->fd, &st) != 0) return false;
        info::FromStat(st, file->name.c_str(), record);
        return true;
    }
    int64_t length = sources::Length(file->source);
    if (length < 0) return false;
    record->type = FSOBJ_FILE;
    record->size = static_cast<uint64_t>(length);
    record->modified = record->created = record->accessed = info::ToDateRecord(time(nullptr));
    record->name = const_cast<char *>(file->name.c_str());
    return true;
}

bool Flush(HostFile *file) {
    if (file->adapter) return file->adapter->fflush(file->handle) == 0;
    // The host writes straight through; nothing waits in a buffer.
    return true;
}

const char *Name(const HostFile *file) { return file->name.c_str(); }

const char *ServedBy(const HostFile *file) { return file->adapter ? file->adapterName : nullptr; }

bool ByAdapter(const HostFile *file) { return file->adapter != nullptr; }

int64_t ReadAt(HostFile *file, uint64_t offset, void *buffer, size_t count) {
    if (file->source) return sources::ReadAt(file->source, offset, buffer, count);
    if (file->adapter) {
        int64_t before = file->adapter->fseek(file->handle, static_cast<int64_t>(offset), SEEK_FROM_START);
        if (before < 0) return -1;
        int32_t chunk = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
        int32_t got = ReadThroughAdapter(file, buffer, chunk);
        file->adapter->fseek(file->handle, before, SEEK_FROM_START);
        return got < 0 ? -1 : got;
    }
    char *bytes = static_cast<char *>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = pread(file->fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t Length(HostFile *file) {
    if (file->source) return sources::Length(file->source);
    if (file->adapter) {
        int64_t before = file->adapter->fseek(file->handle, 0, SEEK_FROM_END);
        if (before < 0) return -1;
        return file->adapter->fseek(file->handle, before, SEEK_FROM_START);
    }
    struct stat st;
    if (fstat(file->fd, &st) != 0) return -1;
    return st.st_size;
}

void Retain(HostFile *file) { ++file->readers; }

void Release(HostFile *file) {
    if (--file->readers == 0 && file->closePending) Dispose(file);
}

}  // namespace files
