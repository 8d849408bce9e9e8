// The module's global state and the pieces every part of it shares.
#pragma once

#include <orvanel/plugin.h>

// Entry points are the only symbols the module exports.
#define ZIP_EXPORT extern "C" __attribute__((visibility("default")))

struct ArchiveObject;
struct ZipDirHandle;

// Size of the adapter's path and name buffers.
constexpr int kPathBufferSize = 1024;

// The module's single global record; zero at load.
struct PluginState {
    int32_t utf8Mode;                 // 1: host strings are UTF-8, else ISO-8859-1
    ArchiveObject *archives;          // archives opened by scripts, in opening order
    PluginInfo *info;                 // the host's information record (for RequirePlugin)
    ZipDirHandle *adapterArchives;    // the adapter's registry of open directory scans
    int errorArchiveNotFound;         // "Cannot find specified zip archive!"
    int errorZip;                     // "A zip error has occurred!"
    int errorOpenArchive;             // "Error opening zip archive %s!"
    int errorArchiveBusy;             // "Zip archive is in use!"
    char nameBuffer[kPathBufferSize]; // names handed back by the adapter's stat and scans
};

extern PluginState gState;
extern uint32_t archiveObjectType;  // object type id of "ZIP archive"

// The host's version at least version.revision?
bool HostIsAtLeast(uint32_t version, uint32_t revision);
