#include "script_host.h"

#include <cstring>
#include <string>

#include "callbacks.h"
#include "errors.h"
#include "faults.h"
#include "memory.h"
#include "objects.h"
#include "plugins.h"

namespace {

// host.memory() -> {blocks, bytes, tags = {tag = count}}
int HostMemory(lua_State *L) {
    lua_createtable(L, 0, 3);
    lua_pushinteger(L, static_cast<lua_Integer>(memory::LiveBlocks()));
    lua_setfield(L, -2, "blocks");
    lua_pushinteger(L, static_cast<lua_Integer>(memory::LiveBytes()));
    lua_setfield(L, -2, "bytes");
    lua_newtable(L);
    for (const auto &[tag, count] : memory::LiveTags()) {
        lua_pushinteger(L, static_cast<lua_Integer>(count));
        lua_setfield(L, -2, tag.c_str());
    }
    lua_setfield(L, -2, "tags");
    return 1;
}

// host.failalloc(n [, tag])
int HostFailAlloc(lua_State *L) {
    lua_Integer n = luaL_checkinteger(L, 1);
    const char *tag = luaL_optstring(L, 2, "");
    memory::FailAfter(static_cast<long>(n), tag);
    return 0;
}

// host.failio(op, n)
int HostFailIo(lua_State *L) {
    const char *op = luaL_checkstring(L, 1);
    lua_Integer n = luaL_checkinteger(L, 2);
    faults::IoKind kind;
    if (!faults::ParseIoKind(op, &kind)) return luaL_argerror(L, 1, lua_pushfstring(L, "unknown operation '%s'", op));
    faults::FailIoAfter(kind, static_cast<long>(n));
    return 0;
}

// host.faultcounts() -> {alloc = n, open = n, read = n, write = n, seek = n,
// examine = n}: the calls made so far that host.failalloc / host.failio count
int HostFaultCounts(lua_State *L) {
    static const char *const kinds[] = {"open", "read", "write", "seek", "examine"};
    lua_createtable(L, 0, 6);
    lua_pushinteger(L, static_cast<lua_Integer>(memory::AllocCount()));
    lua_setfield(L, -2, "alloc");
    for (int i = 0; i < faults::kIoKinds; ++i) {
        lua_pushinteger(L, static_cast<lua_Integer>(faults::IoCallCount(static_cast<faults::IoKind>(i))));
        lua_setfield(L, -2, kinds[i]);
    }
    return 1;
}

// host.help("base.Command") -> help text or nil
int HostHelp(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    const char *dot = strchr(name, '.');
    if (dot == nullptr) return 0;
    Plugin *plugin = FindPluginByBaseTable(std::string(name, dot).c_str());
    if (plugin == nullptr || plugin->getHelpStrings == nullptr) return 0;
    const HelpEntry *help = plugin->getHelpStrings();
    for (int i = 0; plugin->commands[i].name && help && help[i].text; ++i) {
        if (strcmp(plugin->commands[i].name, dot + 1) == 0) {
            lua_pushstring(L, help[i].text);
            return 1;
        }
    }
    return 0;
}

// Sets field name of the table on top to text (left out when NULL).
void SetTextField(lua_State *L, const char *name, const char *text) {
    if (text == nullptr) return;
    lua_pushstring(L, text);
    lua_setfield(L, -2, name);
}

// Sets field name of the table on top to n.
void SetNumberField(lua_State *L, const char *name, lua_Integer n) {
    lua_pushinteger(L, n);
    lua_setfield(L, -2, name);
}

// host.plugininfo(name) -> the information record as a table (plus the
// capability bits the plug-in set options for), or nil when not loaded
int HostPluginInfo(lua_State *L) {
    Plugin *plugin = FindPlugin(luaL_checkstring(L, 1));
    if (plugin == nullptr) return 0;
    const PluginInfo &info = plugin->info;
    lua_createtable(L, 0, 14);
    SetNumberField(L, "capabilities", info.capabilities);
    SetNumberField(L, "version", info.version);
    SetNumberField(L, "revision", info.revision);
    SetNumberField(L, "hostversion", info.hostVersion);
    SetNumberField(L, "hostrevision", info.hostRevision);
    SetTextField(L, "displayname", info.displayName);
    SetTextField(L, "name", info.name);
    SetTextField(L, "author", info.author);
    SetTextField(L, "description", info.description);
    SetTextField(L, "copyright", info.copyright);
    SetTextField(L, "url", info.url);
    SetTextField(L, "date", info.date);
    SetTextField(L, "helpfile", info.helpFile);
    SetNumberField(L, "capabilityoptions", plugin->capabilityOptions);
    return 1;
}

// host.freelibrary(name) -> true, or false when the plug-in is not loaded
int HostFreeLibrary(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    Plugin *plugin = FindPlugin(name);
    if (plugin == nullptr) {
        lua_pushboolean(L, 0);
        return 1;
    }
    if (!FreeLibraryOf(L, plugin))
        return luaL_error(L, "cannot free the library of plug-in %s: its commands are running and its archives in use",
                          name);
    lua_pushboolean(L, 1);
    return 1;
}

// host.setutf8(flag) -> the text mode now in effect (true = UTF-8)
int HostSetUtf8(lua_State *L) {
    luaL_checkany(L, 1);
    bool utf8 = lua_isinteger(L, 1) ? lua_tointeger(L, 1) != 0 : lua_toboolean(L, 1) != 0;
    lua_pushboolean(L, callbacks::SetUtf8(utf8));
    return 1;
}

// host.lasterror() -> code of the last plug-in error raised, 0 before any
int HostLastError(lua_State *L) {
    lua_pushinteger(L, errors::LastError());
    return 1;
}

// host.incallback() -> true while a plug-in runs a script callback
int HostInCallback(lua_State *L) {
    lua_pushboolean(L, callbacks::InScriptCallback());
    return 1;
}

const luaL_Reg kHostFunctions[] = {
    {"memory", HostMemory},
    {"failalloc", HostFailAlloc},
    {"failio", HostFailIo},
    {"faultcounts", HostFaultCounts},
    {"help", HostHelp},
    {"plugininfo", HostPluginInfo},
    {"freelibrary", HostFreeLibrary},
    {"objects", objects::ScriptObjects},
    {"getattribute", objects::ScriptGetAttribute},
    {"setutf8", HostSetUtf8},
    {"lasterror", HostLastError},
    {"incallback", HostInCallback},
    {nullptr, nullptr},
};

}  // namespace

void OpenHostLibrary(lua_State *L) {
    luaL_newlib(L, kHostFunctions);
    AddFileFunctions(L);
    AddDirectoryFunctions(L);
    lua_setglobal(L, "host");
    lua_register(L, "require_plugin", ScriptRequirePlugin);
}
