// Thin callers of the host's services. Every host service the module uses is
// reached through here, under the host's own names.
//
// Services marked "raises" leave through the caller's frames on a script
// error (longjmp): call them before anything that must be released exists.
#pragma once

#include <memory>
#include <orvanel/plugin.h>

namespace host {

extern const HostApi *api;

// Text (table 2)
inline int CompareNoCase(const char *a, const char *b) { return api->text->CompareNoCase(a, b); }
inline int CompareNoCaseN(const char *a, const char *b, int n) { return api->text->CompareNoCaseN(a, b, n); }
inline void LowerCaseText(char *s) { api->text->LowerCaseText(s); }

// System (table 3)
// Sends the host a one-tag control list {tag = value}.
void SetHostControl(int tag, uintptr_t value);
inline int RegisterError(const char *text) { return api->system->RegisterError(text); }
inline void SetErrorArgument(const char *text) { api->system->SetErrorArgument(text); }
inline void *AllocMemory(size_t size, bool clear, const char *tag) { return api->system->AllocMemory(size, clear, tag); }
inline void FreeMemory(void *memory) { api->system->FreeMemory(memory); }
inline int RegisterHostCallback(int kind, HostCallback fn) { return api->system->RegisterHostCallback(kind, fn, nullptr); }
inline int RegisterObjectType(ScriptState *L, const char *name, ObjectHeader **head, AttributeHandler handler) {
    return api->system->RegisterObjectType(L, name, head, handler);
}
inline void ReleaseObject(ScriptState *L, void *object) { api->system->ReleaseObject(L, object); }
inline void GetCurrentDate(DateRecord *date) { api->system->GetCurrentDate(date); }
inline int ActivateCapability(PluginInfo *info, uint32_t bit) { return api->system->ActivateCapability(info, bit); }
inline void SetCapabilityOption(PluginInfo *info, uint32_t bit, int value) { api->system->SetCapabilityOption(info, bit, value, 0); }

// Files (table 4)
inline HostFile *OpenHostFile(const char *name, int mode) { return api->file->OpenHostFile(name, mode); }
inline void CloseHostFile(HostFile *file) { api->file->CloseHostFile(file); }
inline int64_t SeekHostFile(HostFile *file, int64_t position, int mode) { return api->file->SeekHostFile(file, position, mode); }
inline int32_t ReadHostFile(HostFile *file, void *buffer, int32_t count) { return api->file->ReadHostFile(file, buffer, count); }
inline int32_t WriteHostFile(HostFile *file, const void *buffer, int32_t count) { return api->file->WriteHostFile(file, buffer, count); }
inline int DeleteHostFile(const char *name) { return api->file->DeleteHostFile(name); }
inline int MakeTempFileName(char *buffer, int size) { return api->file->MakeTempFileName(buffer, size); }
inline int AppendPathPart(char *buffer, const char *part, int size) { return api->file->AppendPathPart(buffer, part, size); }
inline char *GetPathEnd(const char *path) { return api->file->GetPathEnd(path); }
inline const char *GetFileNamePart(const char *path) { return api->file->GetFileNamePart(path); }
inline int ExamineHostFile(HostFile *file, FSObjInfo *info) { return api->file->ExamineHostFile(file, 0, info, 0); }
inline int WriteSourceToFile(const char *name, void *source, uint64_t length, uint64_t further, int isHandle) {
    return api->file->WriteSourceToFile(name, source, length, further, isHandle, 0);
}
inline int MakeSourceFileName(char *buffer, int size, const SourceRecord *source) {
    return api->file->MakeSourceFileName(buffer, size, source, 0);
}

// Script (table 10)
inline int GetArgCount(ScriptState *L) { return api->script->GetArgCount(L); }
inline void SetStackTop(ScriptState *L, int index) { api->script->SetStackTop(L, index); }
inline void PushValue(ScriptState *L, int index) { api->script->PushValue(L, index); }
inline bool IsValuePresent(ScriptState *L, int index) { return api->script->IsValuePresent(L, index) != 0; }
inline double ToNumber(ScriptState *L, int index) { return api->script->ToNumber(L, index); }
inline void PushNumber(ScriptState *L, double n) { api->script->PushNumber(L, n); }
inline void PushStringLen(ScriptState *L, const char *s, size_t n) { api->script->PushStringLen(L, s, n); }
inline void PushString(ScriptState *L, const char *s) { api->script->PushString(L, s); }
inline void PushPointer(ScriptState *L, void *p) { api->script->PushPointer(L, p); }
inline void GetTable(ScriptState *L, int table) { api->script->GetTable(L, table); }
inline void NewTable(ScriptState *L) { api->script->NewTable(L); }
inline void SetTable(ScriptState *L, int table) { api->script->SetTable(L, table); }
inline int CallFunction(ScriptState *L, int nargs) { return api->script->CallFunction(L, nargs, 0, 0); }
// raises:
inline const char *GetStringArg(ScriptState *L, int i, size_t *length = nullptr) { return api->script->GetStringArg(L, i, length); }
inline const char *GetOptStringArg(ScriptState *L, int i, const char *def, size_t *length) {
    return api->script->GetOptStringArg(L, i, def, length);
}
inline double GetNumberArg(ScriptState *L, int i) { return api->script->GetNumberArg(L, i); }
inline double GetOptNumberArg(ScriptState *L, int i, double def) { return api->script->GetOptNumberArg(L, i, def); }
inline void CheckTableArg(ScriptState *L, int i) { api->script->CheckTableArg(L, i); }
inline void CheckFunctionArg(ScriptState *L, int i) { api->script->CheckFunctionArg(L, i); }
inline void GetIdArg(ScriptState *L, int i, ObjectId *id) { api->script->GetIdArg(L, i, id); }
inline const char *GetFileNameArg(ScriptState *L, int i) { return api->script->GetFileNameArg(L, i); }
inline void GetNewIdArg(ScriptState *L, int i, ObjectId *id) { api->script->GetNewIdArg(L, i, id); }

// UTF-8 (table 16)
inline uint32_t DecodeUtf8Char(const char *text, int *index) { return api->utf8->DecodeUtf8Char(text, index); }

// FSObjInfo::containerKind of an object that lies inside an archive.
constexpr uint32_t kContainerArchive = 2;

// Shared helpers built on the services above.

// Whether the running host is at least version.revision; false before the
// host handed over its services.
bool IsAtLeast(uint32_t version, uint32_t revision);
// Reads at most count bytes of file: a count beyond the host's 32-bit
// counts is served short rather than cut to a wrong count. The host's
// result: the bytes read, or a negative count on failure.
int32_t ReadAtMost(HostFile *file, void *buffer, uint64_t count);

// A number truncated toward zero to a signed 32-bit integer; values beyond
// the range saturate, NaN gives 0.
int32_t TruncateToInt32(double value);
// GetNumberArg truncated like TruncateToInt32. raises
int32_t GetIntArg(ScriptState *L, int index);
// Pushes an integer as the host's number type.
void PushInteger(ScriptState *L, int64_t n);

// Releases host memory on every way out of a scope.
struct MemoryRelease {
    void operator()(void *memory) const { FreeMemory(memory); }
};
template <typename T> using Memory = std::unique_ptr<T, MemoryRelease>;

// Closes a host file on every way out of a scope.
struct FileRelease {
    void operator()(HostFile *file) const { CloseHostFile(file); }
};
using File = std::unique_ptr<HostFile, FileRelease>;

}  // namespace host
