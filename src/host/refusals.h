// Why a request for a path inside an archive failed. An adapter that
// declines only returns 0, and the host then serves the path itself, whose
// error ("Not a directory") says nothing about the archive; so the host
// looks for itself at what it can tell.
#pragma once

#include <lua.hpp>

namespace refusals {

// What the script asked of the path.
enum class Request { kRead, kReadWrite, kWrite, kScan };

// Pushes the message for a failed request on path, which failed with the
// system's error: when path runs through an archive file that an adapter
// serves, "path: the archive A refused to open/write/list P: reason" with
// the part P inside it and the reason as far as the host can tell;
// otherwise "path: " and the system's message.
void PushMessage(lua_State *L, const char *path, Request request, bool passwordGiven, int error);

}  // namespace refusals
