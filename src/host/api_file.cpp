// Table 4: files and paths.
#include "host_api.h"

#include "fsobjects.h"
#include "files.h"
#include "paths.h"
#include "settings.h"
#include "sources.h"

namespace {

HostFile *OpenHostFile(const char *name, int mode) { return files::Open(name, mode, nullptr); }
void CloseHostFile(HostFile *file) { files::Close(file); }
int64_t SeekHostFile(HostFile *file, int64_t position, int mode) { return files::Seek(file, position, mode); }
int32_t ReadHostFile(HostFile *file, void *buffer, int32_t count) { return files::Read(file, buffer, count); }
int32_t WriteHostFile(HostFile *file, const void *buffer, int32_t count) { return files::Write(file, buffer, count); }
int DeleteHostFile(const char *name) { return fsobjects::Delete(name) ? 1 : 0; }
int MakeTempFileName(char *buffer, int size) { return sources::MakeTempName(buffer, size) ? 1 : 0; }
int AppendPathPart(char *buffer, const char *part, int size) { return paths::AppendPart(buffer, part, size) ? 1 : 0; }
char *GetPathEnd(const char *path) { return paths::DirectoryEnd(path); }
const char *GetFileNamePart(const char *path) { return paths::FileNamePart(path); }
int ExamineHostFile(HostFile *file, int, FSObjInfo *record, int) { return files::Examine(file, 0, record) ? 1 : 0; }

// The bytes of a source: data pointer and length, or (isHandle) the host
// file behind source. The further number means nothing to this host.
int WriteSourceToFile(const char *name, void *source, uint64_t length, uint64_t, int isHandle, int) {
    return sources::WriteToFile(name, source, length, isHandle != 0);
}

int MakeSourceFileName(char *buffer, int size, const SourceRecord *source, int) {
    return sources::MakeName(source, buffer, size) ? 1 : 0;
}

HostFileApi MakeTable() {
    HostFileApi t = {};
    t.OpenHostFile = OpenHostFile;
    t.CloseHostFile = CloseHostFile;
    t.SeekHostFile = SeekHostFile;
    t.ReadHostFile = ReadHostFile;
    t.WriteHostFile = WriteHostFile;
    t.DeleteHostFile = DeleteHostFile;
    t.MakeTempFileName = MakeTempFileName;
    t.AppendPathPart = AppendPathPart;
    t.GetPathEnd = GetPathEnd;
    t.GetFileNamePart = GetFileNamePart;
    t.ExamineHostFile = ExamineHostFile;
    t.WriteSourceToFile = WriteSourceToFile;
    // Hosts before 7.1 cannot name a source; plug-ins must not ask them.
    t.MakeSourceFileName = HostIsAtLeast(7, 1) ? MakeSourceFileName : nullptr;
    return t;
}

}  // namespace

const HostFileApi *FileApi() {
    static const HostFileApi table = MakeTable();
    return &table;
}
