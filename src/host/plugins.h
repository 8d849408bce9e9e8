// Plug-ins loaded by the host: loading, the library a plug-in offers to
// scripts, and unloading.
#pragma once

#include <orvanel/plugin.h>

#include <lua.hpp>
#include <string>

// One loaded plug-in.
struct Plugin {
    std::string name;                 // NAME of NAME.orp
    void *library = nullptr;          // dlopen handle
    PluginInfo info = {};             // the record the plug-in filled (its address is stable)
    InitPluginFn initPlugin = nullptr;
    ClosePluginFn closePlugin = nullptr;
    GetBaseTableFn getBaseTable = nullptr;
    GetCommandsFn getCommands = nullptr;
    GetConstantsFn getConstants = nullptr;
    GetHelpStringsFn getHelpStrings = nullptr;
    InitLibraryFn initLibrary = nullptr;
    FreeLibraryFn freeLibrary = nullptr;
    RequirePluginFn requirePlugin = nullptr;
    std::string baseTable;            // name of the global command table; empty: no library
    const CommandEntry *commands = nullptr;  // the plug-in's command table
    int tableRef = LUA_NOREF;         // registry reference of the script's command table
    bool librarySetUp = false;        // InitLibrary ran and FreeLibrary did not since
    int busy = 0;                     // commands, handlers and callbacks of it running now
    uint32_t capabilityOptions = 0;   // bits given to SetCapabilityOption with value 1
};

// The loaded plug-in of that name, or NULL.
Plugin *FindPlugin(const char *name);

// The loaded plug-in that owns the information record, or NULL.
Plugin *FindPluginByInfo(const PluginInfo *info);

// The loaded plug-in whose library has this base table name, or NULL.
Plugin *FindPluginByBaseTable(const char *baseTable);

// Script function require_plugin(name [, options]).
int ScriptRequirePlugin(lua_State *L);

// Drops the library of plugin (FreeLibrary). Refused (false) while
// something of the plug-in runs.
bool FreeLibraryOf(lua_State *L, Plugin *plugin);

// FreeLibrary for every plug-in whose library is set up; before the script
// state closes.
void FreeAllLibraries(lua_State *L);

// ClosePlugin and dlclose for every plug-in; after the script state closed.
void UnloadAllPlugins();
