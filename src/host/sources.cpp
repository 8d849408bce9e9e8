#include "sources.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

#include "files.h"

namespace sources {

// One registered memory source.
struct Source {
    std::string name;          // the name it is registered under
    const void *data;          // the bytes, or NULL when they come from handle
    uint64_t length;           // how many bytes data holds
    HostFile *handle;          // the host file holding the bytes, or NULL
    int opens;                 // files open on it now
};

namespace {

// Folder part of every source name; no real path lies there.
constexpr const char *kPrefix = "/orhost-source/";
// Largest piece copied at once when writing a source to a file.
constexpr size_t kCopyChunk = 65536;

std::map<std::string, std::unique_ptr<Source>> registered;
unsigned long nextNumber = 1;

// Removes source from the registry, letting go of its host file.
void Unregister(Source *source) {
    HostFile *handle = source->handle;
    std::string name = source->name;
    registered.erase(name);
    if (handle) files::Release(handle);
}

// Copies text into buffer of size bytes; false when it does not fit.
bool CopyName(const std::string &text, char *buffer, int size) {
    if (size <= 0 || text.size() + 1 > static_cast<size_t>(size)) return false;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

// Writes the bytes of source to out; 0 or a host error code.
int CopyBytes(HostFile *out, const void *data, uint64_t length) {
    const char *bytes = static_cast<const char *>(data);
    for (uint64_t done = 0; done < length;) {
        int32_t chunk = static_cast<int32_t>(length - done < kCopyChunk ? length - done : kCopyChunk);
        if (files::Write(out, bytes + done, chunk) != chunk) return HOSTERR_SHORTWRITE;
        done += static_cast<uint64_t>(chunk);
    }
    return 0;
}

// Writes the whole host file in to out, from its start; 0 or a host error code.
int CopyFile(HostFile *out, HostFile *in) {
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (uint64_t offset = 0;;) {
        int64_t got = files::ReadAt(in, offset, buffer.get(), kCopyChunk);
        if (got < 0) return HOSTERR_SHORTWRITE;
        if (got == 0) return 0;
        if (files::Write(out, buffer.get(), static_cast<int32_t>(got)) != got) return HOSTERR_SHORTWRITE;
        offset += static_cast<uint64_t>(got);
    }
}

}  // namespace

bool MakeName(const SourceRecord *record, char *buffer, int size) {
    if (record == nullptr || (record->data == nullptr && record->handle == nullptr)) return false;
    std::string name = kPrefix + std::to_string(nextNumber++);
    if (record->extension && record->extension[0]) name += std::string(".") + record->extension;
    if (!CopyName(name, buffer, size)) return false;
    auto source = std::make_unique<Source>();
    source->name = name;
    source->data = record->data;
    source->length = record->data ? record->length : 0;
    source->handle = record->data ? nullptr : static_cast<HostFile *>(record->handle);
    source->opens = 0;
    if (source->handle) files::Retain(source->handle);
    registered[name] = std::move(source);
    return true;
}

Source *Find(const char *name) {
    if (registered.empty() || strncmp(name, kPrefix, strlen(kPrefix)) != 0) return nullptr;
    auto found = registered.find(name);
    return found == registered.end() ? nullptr : found->second.get();
}

void Opened(Source *source) { ++source->opens; }

void Closed(Source *source) {
    if (--source->opens == 0) Unregister(source);
}

int64_t Length(Source *source) {
    if (source->handle) return files::Length(source->handle);
    return static_cast<int64_t>(source->length);
}

int64_t ReadAt(Source *source, uint64_t offset, void *buffer, size_t count) {
    if (source->handle) return files::ReadAt(source->handle, offset, buffer, count);
    if (offset >= source->length) return 0;
    uint64_t available = source->length - offset;
    size_t n = count < available ? count : static_cast<size_t>(available);
    memcpy(buffer, static_cast<const char *>(source->data) + offset, n);
    return static_cast<int64_t>(n);
}

void ReleaseAll() {
    while (!registered.empty()) Unregister(registered.begin()->second.get());
}

int WriteToFile(const char *name, void *data, uint64_t length, bool isHandle) {
    HostFile *out = files::Open(name, FMODE_WRITE, nullptr);
    if (out == nullptr) return HOSTERR_OPENWRITE;
    int result = isHandle ? CopyFile(out, static_cast<HostFile *>(data)) : CopyBytes(out, data, length);
    if (!files::Close(out) && result == 0) result = HOSTERR_SHORTWRITE;
    return result;
}

bool MakeTempName(char *buffer, int size) {
    const char *folder = getenv("TMPDIR");
    std::string pattern = std::string(folder && folder[0] ? folder : "/tmp") + "/orhost-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) return false;
    close(fd);
    if (CopyName(pattern, buffer, size)) return true;
    unlink(pattern.c_str());
    return false;
}

}  // namespace sources
