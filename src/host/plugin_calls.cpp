#include "plugin_calls.h"

#include "errors.h"
#include "plugins.h"

namespace {

// One call into a plug-in that is running now; frames of nested calls (a
// command run from a script callback of another command) are chained.
struct CallFrame {
    Plugin *plugin;     // the plug-in called
    const char *name;   // command name for argument errors, or NULL
    PluginWork work;    // what to run inside the protected call
    void *context;      // handed to work
    int result;         // what work returned
    CallFrame *outer;   // the call this one runs inside, or NULL
};

Plugin *activePlugin = nullptr;
CallFrame *currentFrame = nullptr;

// The protected body of CallPlugin: runs the work of the current frame and
// keeps its result; returns the results it pushed.
int RunWork(lua_State *L) {
    CallFrame *frame = currentFrame;
    int result = frame->work(L, frame->context);
    frame->result = result;
    if (result <= 0 || result >= HOSTERR_FIRST) return 0;
    int top = lua_gettop(L);
    return result < top ? result : top;
}

// Context of a command call: the entry of the command table.
int CommandWork(lua_State *L, void *context) {
    return static_cast<const CommandEntry *>(context)->function(reinterpret_cast<ScriptState *>(L));
}

// The script function of a plug-in command (upvalues: plug-in, index).
int RunCommand(lua_State *L) {
    Plugin *plugin = static_cast<Plugin *>(lua_touserdata(L, lua_upvalueindex(1)));
    const CommandEntry *entry = &plugin->commands[lua_tointeger(L, lua_upvalueindex(2))];
    if (!plugin->librarySetUp)
        return luaL_error(L, "the library of plug-in %s is not set up: call require_plugin first", plugin->name.c_str());
    return CallPlugin(L, plugin, entry->name, CommandWork, const_cast<CommandEntry *>(entry));
}

}  // namespace

Plugin *ActivePlugin() { return activePlugin; }

Plugin *EnterPlugin(Plugin *plugin) {
    Plugin *previous = activePlugin;
    activePlugin = plugin;
    return previous;
}

void LeavePlugin(Plugin *previous) { activePlugin = previous; }

const char *CurrentCommandName() {
    return currentFrame && currentFrame->name ? currentFrame->name : "?";
}

void PushCommand(lua_State *L, Plugin *plugin, int index) {
    lua_pushlightuserdata(L, plugin);
    lua_pushinteger(L, index);
    lua_pushcclosure(L, RunCommand, 2);
}

int CallPlugin(lua_State *L, Plugin *plugin, const char *name, PluginWork work, void *context) {
    int nargs = lua_gettop(L);
    lua_pushcfunction(L, RunWork);
    lua_insert(L, 1);
    CallFrame frame = {plugin, name, work, context, 0, currentFrame};
    currentFrame = &frame;
    Plugin *previous = EnterPlugin(plugin);
    ++plugin->busy;
    int status = lua_pcall(L, nargs, LUA_MULTRET, 0);
    --plugin->busy;
    LeavePlugin(previous);
    currentFrame = frame.outer;
    if (status != LUA_OK) return lua_error(L);
    if (frame.result >= HOSTERR_FIRST) return errors::Raise(L, frame.result);
    return lua_gettop(L);
}
