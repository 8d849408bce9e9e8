// Archive bytes served through the file adapter, the way a host with the
// adapter installed uses them: the archive lies on disk for directory scans
// (every directory listed, each child once, stat'ed, every file opened
// through the scan and read with seeks), and the same bytes are handed to FOpen as an in-memory
// source (tags 2 and 3). Every input must release all host memory, close
// every host file and leave the registry of scans empty.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "host.h"
#include "adapter/registry.h"

extern "C" {
void *FOpen(const char *path, int mode, const TagItem *tags);
int32_t FRead(void *file, void *buffer, int32_t count);
int64_t FSeek(void *file, int64_t offset, int mode);
int FGetC(void *file);
int FEof(void *file);
int FStat(void *file, int flags, FSObjInfo *info);
int FClose(void *file);
void *OpenDir(const char *path, void *reserved, const TagItem *tags);
int NextDirEntry(void *dir, FSObjInfo *info);
int RewindDir(void *dir);
int StatDir(void *dir, int flags, FSObjInfo *info);
int CloseDir(void *dir);
int Stat(const char *path, int flags, FSObjInfo *info);
}

namespace {

// Bounds that keep one input fast.
constexpr int kMaxChildren = 256;
constexpr int kMaxDepth = 3;
constexpr int kMaxSourceFiles = 16;
constexpr int64_t kMaxBytesPerFile = 1 << 20;

void Fail(const char *what) {
    fprintf(stderr, "adapter: %s\n", what);
    abort();
}

// The archive's bytes as a file, for the routes that read it from disk.
std::string WriteArchiveFile(const uint8_t *data, size_t size) {
    static const std::string path = "/tmp/fuzz-adapter-" + std::to_string(getpid()) + ".zip";
    FILE *out = fopen(path.c_str(), "wb");
    if (out == nullptr || fwrite(data, 1, size, out) != size) Fail("cannot write the archive file");
    fclose(out);
    return path;
}

// Releases a name the adapter allocated for the host (FSOBJ_FULLNAME).
void FreeFullName(FSObjInfo &info) {
    if (info.name != nullptr) host::FreeMemory(info.name);
    info.name = nullptr;
}

// Reads at most count bytes; the adapter must never report more.
int32_t ReadChecked(void *file, std::vector<char> &buffer, int32_t count) {
    int32_t n = FRead(file, buffer.data(), count);
    if (n < 0 || n > count) Fail("FRead returned more than asked");
    return n;
}

// Reads a file through every kind of movement: forward, skip ahead, back to
// the start, from the end, byte by byte. A sequential handle must refuse the
// skip ahead; any other reports the position it leaves.
void ReadWithSeeks(void *file, bool sequential) {
    static std::vector<char> buffer(65536);
    int64_t total = 0;
    while (total < kMaxBytesPerFile) {
        int32_t n = ReadChecked(file, buffer, 65536);
        if (n == 0) break;
        total += n;
    }
    FEof(file);
    FSeek(file, 0, SEEK_FROM_START);
    ReadChecked(file, buffer, 100);
    int64_t skipped = FSeek(file, 70000, SEEK_FROM_CURRENT);
    if (sequential && skipped != -1) Fail("a sequential handle moved forward");
    if (!sequential && skipped != 100 && total >= 100) Fail("FSeek did not report the old position");
    ReadChecked(file, buffer, 10);
    FSeek(file, -5, SEEK_FROM_END);
    FGetC(file);
    FSeek(file, 0, SEEK_FROM_START);
    FGetC(file);
    FSObjInfo info{};
    if (FStat(file, FSOBJ_FULLNAME, &info)) FreeFullName(info);
}

// Opens and reads one file of the archive by path.
void ReadFile(const std::string &path, const TagItem *tags, bool sequential) {
    void *file = FOpen(path.c_str(), FMODE_READ, tags);
    if (file == nullptr) return;
    ReadWithSeeks(file, sequential);
    FClose(file);
}

// Lists the directory at path, reading its files and scanning its
// subdirectories (while this scan stays open, so they share its archive).
void ScanDirectory(const std::string &path, int depth, std::vector<std::string> &files) {
    void *dir = OpenDir(path.c_str(), nullptr, nullptr);
    if (dir == nullptr) return;
    FSObjInfo info{};
    if (StatDir(dir, FSOBJ_FULLNAME, &info)) FreeFullName(info);
    std::vector<std::pair<std::string, bool>> children;
    std::set<std::pair<std::string, bool>> listed;
    for (int i = 0; i < kMaxChildren && NextDirEntry(dir, &info); i++) {
        if (info.name == nullptr) Fail("NextDirEntry gave no name");
        if (!listed.insert({info.name, info.type == FSOBJ_DIRECTORY}).second) Fail("a child was listed twice");
        children.emplace_back(info.name, info.type == FSOBJ_DIRECTORY);
    }
    for (const auto &[name, isDirectory] : children) {
        std::string child = path + "/" + name;
        FSObjInfo childInfo{};
        if (Stat(child.c_str(), FSOBJ_FULLNAME, &childInfo)) FreeFullName(childInfo);
        if (isDirectory) {
            if (depth < kMaxDepth) ScanDirectory(child, depth + 1, files);
        } else {
            ReadFile(child, nullptr, false);
            files.push_back(child.substr(child.find(".zip/") + 5));
        }
    }
    RewindDir(dir);
    NextDirEntry(dir, &info);
    CloseDir(dir);
}

// Reads files of the archive from its bytes in memory, as a host does for
// an archive that is not a plain file (source route), with and without
// sequential reading.
void ReadFromSource(const uint8_t *data, size_t size, const std::vector<std::string> &files) {
    uint32_t sequential = FOPENFLAG_SEQUENTIAL;
    for (size_t i = 0; i < files.size() && i < kMaxSourceFiles; i++) {
        const TagItem tags[] = {{FOPENTAG_SOURCE, reinterpret_cast<uintptr_t>(data)},
                                {FOPENTAG_LENGTH, size},
                                {i % 2 ? uint32_t(FOPENTAG_FLAGS) : uint32_t(TAG_DONE), reinterpret_cast<uintptr_t>(&sequential)},
                                {TAG_DONE, 0}};
        ReadFile("memory.zip/" + files[i], tags, i % 2 != 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzhost::Start();
    std::string archive = WriteArchiveFile(data, size);
    std::vector<std::string> files;
    ScanDirectory(archive, 0, files);
    ReadFromSource(data, size, files);
    if (!files.empty()) ReadFile(archive + "/" + files.front(), nullptr, false);
    if (AnyScanOpen()) Fail("a directory scan is still registered");
    fuzzhost::CheckNothingLeft("adapter");
    return 0;
}
