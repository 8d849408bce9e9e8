// The unit tests' host: only the services pure module logic calls.
#include "test_host.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "host.h"

namespace testhost {
namespace {

int liveBlocks = 0;

int CompareNoCaseN(const char *a, const char *b, int n) { return strncasecmp(a, b, static_cast<size_t>(n)); }
void LowerCaseText(char *text) {
    for (; *text != '\0'; text++) *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

void *AllocMemory(size_t size, int clear, const char *) {
    void *memory = clear ? std::calloc(1, size) : std::malloc(size);
    if (memory != nullptr) liveBlocks++;
    return memory;
}
void FreeMemory(void *memory) {
    if (memory != nullptr) liveBlocks--;
    std::free(memory);
}

File *FileOf(HostFile *file) { return reinterpret_cast<File *>(file); }

void CloseHostFile(HostFile *file) {
    if (FileOf(file)->opened) delete FileOf(file);
    else FileOf(file)->closed = true;
}

// Reads a real file in whole; NULL when it cannot be read.
HostFile *OpenHostFile(const char *name, int) {
    FILE *real = std::fopen(name, "rb");
    if (real == nullptr) return nullptr;
    auto *file = new File;
    for (int c; (c = std::fgetc(real)) != EOF;) file->contents.push_back(static_cast<char>(c));
    std::fclose(real);
    file->size = static_cast<int64_t>(file->contents.size());
    file->opened = true;
    return file->handle();
}

// Moves like the real host: returns the position before, -1 outside the file.
int64_t SeekHostFile(HostFile *handle, int64_t position, int mode) {
    File *file = FileOf(handle);
    const int64_t before = file->position;
    const int64_t base = mode == SEEK_FROM_START ? 0 : mode == SEEK_FROM_END ? file->size : before;
    if (base + position < 0 || base + position > file->size) return -1;
    file->position = base + position;
    return before;
}

// Reads zeros up to the end of the file.
int32_t ReadHostFile(HostFile *handle, void *buffer, int32_t count) {
    File *file = FileOf(handle);
    file->lastReadCount = count;
    const int64_t left = file->size - file->position;
    const int32_t n = left < count ? static_cast<int32_t>(left) : count;
    if (file->opened)
        std::memcpy(buffer, file->contents.data() + file->position, static_cast<size_t>(n));
    else
        std::memset(buffer, 0, static_cast<size_t>(n));
    file->position += n;
    return n;
}

// A file of rw-r--r-- and its length.
int ExamineHostFile(HostFile *handle, int, FSObjInfo *info, int) {
    *info = FSObjInfo{0, 0, static_cast<uint64_t>(FileOf(handle)->size), 0644, {}, {}, {}, nullptr, nullptr, 0, nullptr};
    return 1;
}

HostTextApi textApi;
HostSystemApi systemApi;
HostFileApi fileApi;
HostApi hostApi;

// Builds the tables and makes them the module's host.
bool Install() {
    textApi.CompareNoCaseN = CompareNoCaseN;
    textApi.LowerCaseText = LowerCaseText;
    systemApi.AllocMemory = AllocMemory;
    systemApi.FreeMemory = FreeMemory;
    fileApi.OpenHostFile = OpenHostFile;
    fileApi.CloseHostFile = CloseHostFile;
    fileApi.SeekHostFile = SeekHostFile;
    fileApi.ReadHostFile = ReadHostFile;
    fileApi.ExamineHostFile = ExamineHostFile;
    hostApi.version = 10;
    hostApi.revision = 0;
    hostApi.text = &textApi;
    hostApi.system = &systemApi;
    hostApi.file = &fileApi;
    host::api = &hostApi;
    return true;
}

const bool installed = Install();

}  // namespace

int LiveBlocks() { return liveBlocks; }

}  // namespace testhost
