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

int CompareNoCase(const char *a, const char *b) { return strcasecmp(a, b); }
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

// Decodes one UTF-8 sequence; a malformed lead byte comes back as itself.
uint32_t DecodeUtf8Char(const char *text, int *index) {
    const auto *s = reinterpret_cast<const unsigned char *>(text) + *index;
    int length = s[0] < 0x80 ? 1 : s[0] >= 0xF0 ? 4 : s[0] >= 0xE0 ? 3 : s[0] >= 0xC0 ? 2 : 1;
    uint32_t code = length == 1 ? s[0] : s[0] & (0x3F >> (length - 1));
    for (int i = 1; i < length; i++) {
        if ((s[i] & 0xC0) != 0x80) {
            length = 1;
            code = s[0];
            break;
        }
        code = (code << 6) | (s[i] & 0x3F);
    }
    *index += length;
    return code;
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

int ExamineHostFile(HostFile *handle, int, FSObjInfo *info, int) {
    File *file = FileOf(handle);
    info->modified = file->modified;
    return 1;
}

Script *ScriptOf(ScriptState *L) { return reinterpret_cast<Script *>(L); }
double GetNumberArg(ScriptState *L, int index) { return ScriptOf(L)->args.at(static_cast<size_t>(index - 1)); }
void PushNumber(ScriptState *L, double n) { ScriptOf(L)->pushed.push_back(n); }

HostTextApi textApi;
HostSystemApi systemApi;
HostFileApi fileApi;
HostScriptApi scriptApi;
HostUtf8Api utf8Api;
HostApi hostApi;

// Builds the tables and makes them the module's host.
bool Install() {
    textApi.CompareNoCase = CompareNoCase;
    textApi.CompareNoCaseN = CompareNoCaseN;
    textApi.LowerCaseText = LowerCaseText;
    systemApi.AllocMemory = AllocMemory;
    systemApi.FreeMemory = FreeMemory;
    fileApi.OpenHostFile = OpenHostFile;
    fileApi.CloseHostFile = CloseHostFile;
    fileApi.SeekHostFile = SeekHostFile;
    fileApi.ReadHostFile = ReadHostFile;
    fileApi.ExamineHostFile = ExamineHostFile;
    scriptApi.GetNumberArg = GetNumberArg;
    scriptApi.PushNumber = PushNumber;
    utf8Api.DecodeUtf8Char = DecodeUtf8Char;
    hostApi.version = 10;
    hostApi.revision = 0;
    hostApi.text = &textApi;
    hostApi.system = &systemApi;
    hostApi.file = &fileApi;
    hostApi.script = &scriptApi;
    hostApi.utf8 = &utf8Api;
    host::api = &hostApi;
    return true;
}

const bool installed = Install();

}  // namespace

int LiveBlocks() { return liveBlocks; }

}  // namespace testhost
