// The fuzz targets' host. Files are either the one served buffer (ServeFile),
// a buffer handed over through MakeSourceFileName, or real files; memory and
// open files are counted so that a target can prove each input released all.
#include "fuzz_host.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <unordered_set>

#include <orvanel/plugin.h>

namespace {

// One open host file.
struct FuzzFile {
    const uint8_t *data;  // in-memory contents, or NULL for a real file
    size_t size;          // length of data
    size_t position;      // read position in data
    FILE *real;           // the real file, or NULL
};

const uint8_t *servedData = nullptr;     // bytes of the served file
size_t servedSize = 0;                   // their length
std::string servedName;                  // the name they are served under
std::unordered_set<void *> liveBlocks;   // AllocMemory blocks not yet freed
size_t openFiles = 0;                    // host files not yet closed

// Names from MakeSourceFileName carry the buffer's address and length.
constexpr const char *kSourcePrefix = "fuzzsource:";

int CompareNoCase(const char *a, const char *b) { return strcasecmp(a, b); }
int CompareNoCaseN(const char *a, const char *b, int n) { return n <= 0 ? 0 : strncasecmp(a, b, size_t(n)); }
void LowerCaseText(char *text) {
    for (; *text; ++text) *text = char(tolower(static_cast<unsigned char>(*text)));
}

void SetHostControl(const TagItem *) {}
int nextError = 5000;
int RegisterError(const char *) { return nextError++; }
void SetErrorArgument(const char *) {}

void *AllocMemory(size_t size, int clear, const char *) {
    void *block = clear ? calloc(1, std::max<size_t>(size, 1)) : malloc(std::max<size_t>(size, 1));
    if (block != nullptr) liveBlocks.insert(block);
    return block;
}

void FreeMemory(void *block) {
    if (block == nullptr) return;
    if (liveBlocks.erase(block) == 0) {
        fprintf(stderr, "FreeMemory of a block the host did not hand out: %p\n", block);
        abort();
    }
    free(block);
}

int RegisterHostCallback(int, HostCallback, void *) { return 1; }
int RegisterObjectType(ScriptState *, const char *, ObjectHeader **, AttributeHandler) { return 1; }
void ReleaseObject(ScriptState *, void *) {}

void GetCurrentDate(DateRecord *date) {
    time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    *date = {tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon, tm.tm_year + 1900};
}

int ActivateCapability(PluginInfo *, uint32_t) { return 0; }
void SetCapabilityOption(PluginInfo *, uint32_t, int, int) {}

FuzzFile *NewFile(const uint8_t *data, size_t size, FILE *real) {
    ++openFiles;
    return new FuzzFile{data, size, 0, real};
}

// Parses a name made by MakeSourceFileName back into its buffer.
bool ParseSourceName(const char *name, const uint8_t **data, size_t *size) {
    if (strncmp(name, kSourcePrefix, strlen(kSourcePrefix)) != 0) return false;
    void *pointer = nullptr;
    if (sscanf(name + strlen(kSourcePrefix), "%p:%zu", &pointer, size) != 2) return false;
    *data = static_cast<const uint8_t *>(pointer);
    return true;
}

HostFile *OpenHostFile(const char *name, int mode) {
    const uint8_t *data = nullptr;
    size_t size = 0;
    bool reading = (mode & FMODE_READ) != 0;
    if (reading && servedData != nullptr && servedName == name) return reinterpret_cast<HostFile *>(NewFile(servedData, servedSize, nullptr));
    if (reading && ParseSourceName(name, &data, &size)) return reinterpret_cast<HostFile *>(NewFile(data, size, nullptr));
    FILE *real = fopen(name, reading ? "rb" : "wb");
    return real == nullptr ? nullptr : reinterpret_cast<HostFile *>(NewFile(nullptr, 0, real));
}

void CloseHostFile(HostFile *handle) {
    auto *file = reinterpret_cast<FuzzFile *>(handle);
    if (file->real != nullptr) fclose(file->real);
    delete file;
    --openFiles;
}

int64_t SeekHostFile(HostFile *handle, int64_t position, int mode) {
    auto *file = reinterpret_cast<FuzzFile *>(handle);
    if (file->real != nullptr) {
        int64_t before = ftello(file->real);
        int whence = mode == SEEK_FROM_START ? SEEK_SET : mode == SEEK_FROM_END ? SEEK_END : SEEK_CUR;
        return fseeko(file->real, position, whence) == 0 ? before : -1;
    }
    int64_t before = int64_t(file->position);
    int64_t base = mode == SEEK_FROM_START ? 0 : mode == SEEK_FROM_END ? int64_t(file->size) : before;
    int64_t target = base + position;
    if (target < 0 || target > int64_t(file->size)) return -1;
    file->position = size_t(target);
    return before;
}

int32_t ReadHostFile(HostFile *handle, void *buffer, int32_t count) {
    auto *file = reinterpret_cast<FuzzFile *>(handle);
    if (count < 0) return -1;
    if (file->real != nullptr) return int32_t(fread(buffer, 1, size_t(count), file->real));
    size_t n = std::min(size_t(count), file->size - file->position);
    if (n > 0) memcpy(buffer, file->data + file->position, n);
    file->position += n;
    return int32_t(n);
}

int32_t WriteHostFile(HostFile *handle, const void *buffer, int32_t count) {
    auto *file = reinterpret_cast<FuzzFile *>(handle);
    if (file->real == nullptr || count < 0) return -1;
    return int32_t(fwrite(buffer, 1, size_t(count), file->real));
}

int DeleteHostFile(const char *name) { return unlink(name) == 0; }

int MakeTempFileName(char *buffer, int size) {
    static unsigned counter = 0;
    return snprintf(buffer, size_t(size), "/tmp/fuzzhost-%d-%u.tmp", int(getpid()), counter++) < size;
}

int AppendPathPart(char *buffer, const char *part, int size) {
    size_t length = strlen(buffer);
    bool separator = length > 0 && buffer[length - 1] != '/' && buffer[length - 1] != ':';
    size_t needed = length + (separator ? 1 : 0) + strlen(part) + 1;
    if (needed > size_t(size)) return 0;
    if (separator) buffer[length++] = '/';
    strcpy(buffer + length, part);
    return 1;
}

char *GetPathEnd(const char *path) {
    const char *slash = strrchr(path, '/');
    return const_cast<char *>(slash != nullptr ? slash : path);
}

const char *GetFileNamePart(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int ExamineHostFile(HostFile *, int, FSObjInfo *info, int) {
    GetCurrentDate(&info->modified);
    return 1;
}

int WriteSourceToFile(const char *name, void *source, uint64_t length, uint64_t, int isHandle, int) {
    if (isHandle) return 1;
    FILE *out = fopen(name, "wb");
    if (out == nullptr) return 1;
    bool ok = fwrite(source, 1, size_t(length), out) == length;
    return fclose(out) == 0 && ok ? 0 : 1;
}

int MakeSourceFileName(char *buffer, int size, const SourceRecord *source, int) {
    if (source->data == nullptr) return 0;
    return snprintf(buffer, size_t(size), "%s%p:%zu", kSourcePrefix, source->data, size_t(source->length)) < size;
}

uint32_t DecodeUtf8Char(const char *text, int *index) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    uint32_t code = bytes[*index];
    int extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
    code &= extra == 3 ? 0x07 : extra == 2 ? 0x0F : extra == 1 ? 0x1F : 0xFF;
    ++*index;
    for (; extra > 0 && (bytes[*index] & 0xC0) == 0x80; --extra) code = (code << 6) | (bytes[(*index)++] & 0x3F);
    return code;
}

HostTextApi textApi;
HostSystemApi systemApi;
HostFileApi fileApi;
HostUtf8Api utf8Api;
HostApi hostApi;
PluginInfo pluginInfo;

void FillTables() {
    textApi.CompareNoCase = CompareNoCase;
    textApi.CompareNoCaseN = CompareNoCaseN;
    textApi.LowerCaseText = LowerCaseText;
    systemApi.SetHostControl = SetHostControl;
    systemApi.RegisterError = RegisterError;
    systemApi.SetErrorArgument = SetErrorArgument;
    systemApi.AllocMemory = AllocMemory;
    systemApi.FreeMemory = FreeMemory;
    systemApi.RegisterHostCallback = RegisterHostCallback;
    systemApi.RegisterObjectType = RegisterObjectType;
    systemApi.ReleaseObject = ReleaseObject;
    systemApi.GetCurrentDate = GetCurrentDate;
    systemApi.ActivateCapability = ActivateCapability;
    systemApi.SetCapabilityOption = SetCapabilityOption;
    fileApi.OpenHostFile = OpenHostFile;
    fileApi.CloseHostFile = CloseHostFile;
    fileApi.SeekHostFile = SeekHostFile;
    fileApi.ReadHostFile = ReadHostFile;
    fileApi.WriteHostFile = WriteHostFile;
    fileApi.DeleteHostFile = DeleteHostFile;
    fileApi.MakeTempFileName = MakeTempFileName;
    fileApi.AppendPathPart = AppendPathPart;
    fileApi.GetPathEnd = GetPathEnd;
    fileApi.GetFileNamePart = GetFileNamePart;
    fileApi.ExamineHostFile = ExamineHostFile;
    fileApi.WriteSourceToFile = WriteSourceToFile;
    fileApi.MakeSourceFileName = MakeSourceFileName;
    utf8Api.DecodeUtf8Char = DecodeUtf8Char;
    hostApi.version = 10;
    hostApi.revision = 0;
    hostApi.text = &textApi;
    hostApi.system = &systemApi;
    hostApi.file = &fileApi;
    hostApi.utf8 = &utf8Api;
}

}  // namespace

extern "C" int InitPlugin(PluginInfo *info, const HostApi *api);

namespace fuzzhost {

void Start() {
    if (hostApi.version != 0) return;
    FillTables();
    pluginInfo.hostVersion = int32_t(hostApi.version);
    pluginInfo.hostRevision = int32_t(hostApi.revision);
    InitPlugin(&pluginInfo, &hostApi);
}

void ServeFile(const char *name, const uint8_t *data, size_t size) {
    servedName = name;
    servedData = data;
    servedSize = size;
}

size_t LiveBlocks() { return liveBlocks.size(); }

void CheckNothingLeft(const char *stage) {
    if (liveBlocks.empty() && openFiles == 0) return;
    fprintf(stderr, "%s left %zu host memory blocks and %zu host files open\n", stage, liveBlocks.size(), openFiles);
    abort();
}

}  // namespace fuzzhost
