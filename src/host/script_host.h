// The script's global `host` table and require_plugin.
#pragma once

#include <lua.hpp>

// Creates the global table `host` and the global function require_plugin.
void OpenHostLibrary(lua_State *L);

// Adds the file functions (script_files.cpp) and the directory and object
// functions (script_dirs.cpp) to the table on top of the stack.
void AddFileFunctions(lua_State *L);
void AddDirectoryFunctions(lua_State *L);
