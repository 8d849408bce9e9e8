// The module's registration with the host: what the host told it and the
// error codes it registered, and the marker of exported entry points.
#pragma once

#include <orvanel/plugin.h>

// Entry points are the only symbols the module exports.
#define ZIP_EXPORT extern "C" __attribute__((visibility("default")))

// What the module keeps of its registration with the host; zero at load.
struct PluginState {
    int32_t utf8Mode;           // 1: host strings are UTF-8, else ISO-8859-1
    PluginInfo *info;           // the host's information record (for RequirePlugin)
    int errorArchiveNotFound;   // "Cannot find specified zip archive!"
    int errorZip;               // "A zip error has occurred!"
    int errorOpenArchive;       // "Error opening zip archive %s!"
    int errorArchiveBusy;       // "Zip archive is in use!"
};

extern PluginState gState;
