// Error codes and texts that plug-ins hand to the host, and how the host
// turns them into script errors.
#pragma once

#include <lua.hpp>

namespace errors {

// Returned by CallFunction when the script function failed; a command that
// passes it on makes the host raise the function's own error value.
constexpr int kCallbackFailed = 1500;

// Gives a plug-in's error text a new code of its own.
int Register(const char *text);

// Remembers the text that replaces "%s" in the next error raised.
void SetArgument(const char *text);

// Keeps the error value on top of the stack (popping it) as the error of a
// failed script callback.
void KeepCallbackError(lua_State *L);

// Raises the script error for a plug-in's error code: the kept callback
// error for kCallbackFailed, else the code's text with "%s" replaced by the
// argument last set (which is then cleared). Does not return.
int Raise(lua_State *L, int code);

// The code of the last error a plug-in raised through the host; 0 before any.
int LastError();

}  // namespace errors
