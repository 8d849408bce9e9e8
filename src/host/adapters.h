// File adapters that plug-ins install: the host offers its file and
// directory requests to each of them before serving a path itself.
#pragma once

#include <orvanel/plugin.h>

#include <memory>
#include <vector>

struct Plugin;

// The entry points of one installed adapter, looked up in its plug-in.
struct FileAdapter {
    const Plugin *owner;           // the plug-in that exports them
    FOpenFn fopen;
    FReadFn fread;
    FWriteFn fwrite;
    FSeekFn fseek;
    FGetCFn fgetc;
    FPutCFn fputc;
    FEofFn feof;
    FStatFn fstat;
    FFlushFn fflush;
    FCloseFn fclose;
    OpenDirFn opendir;
    NextDirEntryFn nextDirEntry;
    RewindDirFn rewindDir;
    CloseDirFn closeDir;
    StatDirFn statDir;
    ChangeDirFn changeDir;
    GetCurDirFn getCurDir;
    StatFn stat;
    MakeDirFn makeDir;
    DeleteFSObjFn deleteFSObj;
    RenameFSObjFn renameFSObj;
    MoveFSObjFn moveFSObj;
    SetFSObjAttributesFn setFSObjAttributes;
};

namespace adapters {

// Installs the adapter that plugin (opened as library) exports; 0, or
// HOSTERR_BADVALUE when an entry point is missing. Installing twice is
// harmless.
int Install(const Plugin *plugin, void *library);

// Removes the adapter of owner (it is being unloaded).
void Forget(const Plugin *owner);

// The installed adapters, in the order they are offered requests; each
// keeps its address while installed, so open files may point to it.
const std::vector<std::unique_ptr<FileAdapter>> &Installed();

}  // namespace adapters
