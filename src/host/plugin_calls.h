// Calls from scripts into plug-ins: commands and attribute handlers run
// protected, so that the host keeps count of what is running and raises
// the plug-in's error codes as script errors.
#pragma once

#include <lua.hpp>

struct Plugin;

// The plug-in whose code the host is running now (NULL outside plug-ins).
Plugin *ActivePlugin();

// Makes plugin the active one until the returned previous one is restored.
Plugin *EnterPlugin(Plugin *plugin);
void LeavePlugin(Plugin *previous);

// The name argument errors name: the running command's, else "?".
const char *CurrentCommandName();

// Pushes the script function for command index of plugin's command table.
void PushCommand(lua_State *L, Plugin *plugin, int index);

// Work done inside the plug-in: returns a result count or an error code.
using PluginWork = int (*)(lua_State *L, void *context);

// Runs work protected, with the whole stack as its arguments, plugin marked
// as busy and name (may be NULL) as the command that argument errors name.
// Script errors pass through; an error code (HOSTERR_FIRST or above) is
// raised; otherwise only the work's results are left on the stack and their
// count is returned.
int CallPlugin(lua_State *L, Plugin *plugin, const char *name, PluginWork work, void *context);
