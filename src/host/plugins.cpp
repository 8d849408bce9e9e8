#include "plugins.h"

#include <dlfcn.h>

#include <cmath>
#include <memory>
#include <vector>

#include "adapters.h"
#include "callbacks.h"
#include "errors.h"
#include "host_api.h"
#include "objects.h"
#include "plugin_calls.h"
#include "settings.h"

namespace {

// Loaded plug-ins in loading order; records never move.
std::vector<std::unique_ptr<Plugin>> plugins;

// What RequirePlugin is handed, and what it answered.
struct RequireCall {
    const PluginOption *options;  // the option list
    int result;                   // RequirePlugin's result
};

// Looks up one entry point of a plug-in (NULL when it lacks it).
template <typename Fn>
Fn EntryPoint(void *library, const char *name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

// Looks up every plug-in entry point of plugin.
void LookupEntryPoints(Plugin *plugin) {
    void *lib = plugin->library;
    plugin->initPlugin = EntryPoint<InitPluginFn>(lib, "InitPlugin");
    plugin->closePlugin = EntryPoint<ClosePluginFn>(lib, "ClosePlugin");
    plugin->getBaseTable = EntryPoint<GetBaseTableFn>(lib, "GetBaseTable");
    plugin->getCommands = EntryPoint<GetCommandsFn>(lib, "GetCommands");
    plugin->getConstants = EntryPoint<GetConstantsFn>(lib, "GetConstants");
    plugin->getHelpStrings = EntryPoint<GetHelpStringsFn>(lib, "GetHelpStrings");
    plugin->initLibrary = EntryPoint<InitLibraryFn>(lib, "InitLibrary");
    plugin->freeLibrary = EntryPoint<FreeLibraryFn>(lib, "FreeLibrary");
    plugin->requirePlugin = EntryPoint<RequirePluginFn>(lib, "RequirePlugin");
}

// Forgets everything the host keeps for plugin, closes it and unloads it.
void Unload(Plugin *plugin) {
    if (plugin->closePlugin) {
        Plugin *previous = EnterPlugin(plugin);
        plugin->closePlugin();
        LeavePlugin(previous);
    }
    adapters::Forget(plugin);
    callbacks::Forget(plugin);
    objects::Forget(plugin);
    dlclose(plugin->library);
}

// True when the host is older than the version plugin asked for.
bool HostTooOld(const PluginInfo &info) {
    return info.hostVersion > gSettings.version ||
           (info.hostVersion == gSettings.version && info.hostRevision > gSettings.revision);
}

// Loads NAME.orp and runs InitPlugin. On failure pushes the error message
// and returns NULL.
Plugin *LoadOrPushError(lua_State *L, const char *name) {
    std::string path = gSettings.pluginDir + "/" + name + ".orp";
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        lua_pushfstring(L, "Cannot load plug-in %s: %s", name, dlerror());
        return nullptr;
    }
    auto owned = std::make_unique<Plugin>();
    Plugin *plugin = owned.get();
    plugin->name = name;
    plugin->library = library;
    LookupEntryPoints(plugin);
    if (plugin->initPlugin == nullptr) {
        dlclose(library);
        lua_pushfstring(L, "%s is not a plug-in (it has no InitPlugin)", path.c_str());
        return nullptr;
    }
    plugins.push_back(std::move(owned));
    plugin->info.hostVersion = gSettings.version;
    plugin->info.hostRevision = gSettings.revision;
    Plugin *previous = EnterPlugin(plugin);
    int initialised = plugin->initPlugin(&plugin->info, GetHostApi());
    LeavePlugin(previous);
    if (!initialised || HostTooOld(plugin->info)) {
        if (initialised)
            lua_pushfstring(L, "Plug-in %s needs host version %d.%d!", name, static_cast<int>(plugin->info.hostVersion),
                            static_cast<int>(plugin->info.hostRevision));
        else
            lua_pushfstring(L, "Plug-in %s could not be initialised!", name);
        Unload(plugin);
        plugins.pop_back();
        return nullptr;
    }
    return plugin;
}

// Raises an error when the options table at index holds a key that is no
// string or a value that is no number, boolean or string; returns the count.
int CheckOptions(lua_State *L, int index) {
    int count = 0;
    lua_pushnil(L);
    while (lua_next(L, index)) {
        if (lua_type(L, -2) != LUA_TSTRING) luaL_argerror(L, index, "option names must be strings");
        int type = lua_type(L, -1);
        if (type != LUA_TNUMBER && type != LUA_TBOOLEAN && type != LUA_TSTRING)
            luaL_argerror(L, index, lua_pushfstring(L, "option '%s' must be a number, boolean or string",
                                                    lua_tostring(L, -2)));
        lua_pop(L, 1);
        ++count;
    }
    return count;
}

// Builds the option list of the options table at index (count pairs; none
// when count is 0) in a userdata pushed on the stack; its strings are those
// of the table, which stays on the stack meanwhile.
const PluginOption *PushOptionList(lua_State *L, int index, int count) {
    size_t bytes = sizeof(PluginOption) * 2 + sizeof(UserTag) * static_cast<size_t>(count);
    auto *options = static_cast<PluginOption *>(lua_newuserdatauv(L, bytes, 0));
    auto *tags = reinterpret_cast<UserTag *>(options + 2);
    options[0] = {PLUGINOPTION_TAGS, reinterpret_cast<uintptr_t>(tags)};
    options[1] = {PLUGINOPTION_END, 0};
    if (count == 0) {
        options[0] = options[1];
        return options;
    }
    int n = 0;
    lua_pushnil(L);
    while (lua_next(L, index)) {
        UserTag &tag = tags[n];
        tag.next = n + 1 < count ? &tags[n + 1] : nullptr;
        tag.key = lua_tostring(L, -2);
        tag.text = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : nullptr;
        tag.number = lua_isboolean(L, -1) ? (lua_toboolean(L, -1) ? 1 : 0) : lua_tonumber(L, -1);
        lua_pop(L, 1);
        ++n;
    }
    return options;
}

// Runs RequirePlugin with the option list of the call.
int RequireWork(lua_State *L, void *context) {
    auto *call = static_cast<RequireCall *>(context);
    Plugin *plugin = ActivePlugin();
    call->result = plugin->requirePlugin(reinterpret_cast<ScriptState *>(L), gSettings.version, gSettings.revision,
                                         nullptr, call->options);
    return 0;
}

// Runs InitLibrary; its result is an error code when nonzero.
int InitLibraryWork(lua_State *L, void *) {
    int result = ActivePlugin()->initLibrary(reinterpret_cast<ScriptState *>(L));
    return result == 0 ? 0 : (result < HOSTERR_FIRST ? HOSTERR_BADVALUE : result);
}

// Makes the global command table of plugin the first time.
void CreateCommandTable(lua_State *L, Plugin *plugin) {
    lua_newtable(L);
    for (int i = 0; plugin->commands[i].name; ++i) {
        PushCommand(L, plugin, i);
        lua_setfield(L, -2, plugin->commands[i].name);
    }
    lua_pushvalue(L, -1);
    plugin->tableRef = luaL_ref(L, LUA_REGISTRYINDEX);
    lua_setglobal(L, plugin->baseTable.c_str());
}

// Sets the constants of plugin as globals.
void SetConstants(lua_State *L, Plugin *plugin) {
    if (plugin->getConstants == nullptr) return;
    for (const ConstantEntry *c = plugin->getConstants(); c && c->name; ++c) {
        if (std::floor(c->value) == c->value)
            lua_pushinteger(L, static_cast<lua_Integer>(c->value));
        else
            lua_pushnumber(L, c->value);
        lua_setglobal(L, c->name);
    }
}

// Sets up plugin's library on its first use (again after FreeLibrary).
void SetUpLibrary(lua_State *L, Plugin *plugin) {
    if (plugin->librarySetUp) return;
    if (plugin->commands == nullptr) {
        plugin->baseTable = plugin->getBaseTable();
        plugin->commands = plugin->getCommands();
        CreateCommandTable(L, plugin);
    }
    if (plugin->initLibrary) {
        lua_settop(L, 0);
        CallPlugin(L, plugin, nullptr, InitLibraryWork, nullptr);
    }
    SetConstants(L, plugin);
    plugin->librarySetUp = true;
}

// True when plugin offers a script library.
bool HasLibrary(const Plugin *plugin) { return plugin->getBaseTable && plugin->getCommands; }

}  // namespace

Plugin *FindPlugin(const char *name) {
    for (const auto &plugin : plugins)
        if (plugin->name == name) return plugin.get();
    return nullptr;
}

Plugin *FindPluginByInfo(const PluginInfo *info) {
    for (const auto &plugin : plugins)
        if (&plugin->info == info) return plugin.get();
    return nullptr;
}

Plugin *FindPluginByBaseTable(const char *baseTable) {
    for (const auto &plugin : plugins)
        if (plugin->commands && plugin->baseTable == baseTable) return plugin.get();
    return nullptr;
}

int ScriptRequirePlugin(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    int count = 0;
    if (!lua_isnoneornil(L, 2)) {
        luaL_checktype(L, 2, LUA_TTABLE);
        count = CheckOptions(L, 2);
    }
    Plugin *plugin = FindPlugin(name);
    if (plugin == nullptr && (plugin = LoadOrPushError(L, name)) == nullptr) return lua_error(L);
    if (plugin->requirePlugin) {
        RequireCall call = {PushOptionList(L, 2, count), 0};
        CallPlugin(L, plugin, nullptr, RequireWork, &call);
        if (call.result != 0) return errors::Raise(L, call.result);
    }
    if (!HasLibrary(plugin)) {
        lua_pushboolean(L, 1);
        return 1;
    }
    SetUpLibrary(L, plugin);
    lua_rawgeti(L, LUA_REGISTRYINDEX, plugin->tableRef);
    return 1;
}

bool FreeLibraryOf(lua_State *L, Plugin *plugin) {
    if (plugin->busy > 0) return false;
    if (!plugin->librarySetUp) return true;
    plugin->librarySetUp = false;
    if (plugin->freeLibrary) {
        Plugin *previous = EnterPlugin(plugin);
        plugin->freeLibrary(reinterpret_cast<ScriptState *>(L));
        LeavePlugin(previous);
    }
    return true;
}

void FreeAllLibraries(lua_State *L) {
    for (const auto &plugin : plugins) FreeLibraryOf(L, plugin.get());
}

void UnloadAllPlugins() {
    while (!plugins.empty()) {
        Unload(plugins.back().get());
        plugins.pop_back();
    }
}
