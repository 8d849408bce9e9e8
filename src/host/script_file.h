// The script's file object, shared by host.open's methods (script_files.cpp)
// and the reading formats (script_reading.cpp).
#pragma once

#include <lua.hpp>

#include "files.h"
#include "read_buffer.h"

// A full userdata whose user value keeps the source string or source file
// of host.open alive while it is open.
struct ScriptFile {
    HostFile *file;     // the open file; NULL once closed
    ReadBuffer buffer;  // what has been read ahead of the script
    bool readable;      // opened in a mode that reads
    bool writable;      // opened in a mode that writes
    bool append;        // every write goes to the end ("a", "a+")
};

// The metatable name of file objects.
inline constexpr const char *kFileType = "host file";

// The file object at index, raising when it is none.
ScriptFile *FileObject(lua_State *L, int index);

// The file object at index, raising when it is closed.
ScriptFile *OpenFileObject(lua_State *L, int index);

// Adds f:read and f:lines to the method table on top of the stack.
void AddReadMethods(lua_State *L);
