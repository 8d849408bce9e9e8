// host.opendir and its directory objects, host.listdir, host.stat and the
// object operations.
#include "script_host.h"

#include <cerrno>
#include <cstring>

#include "fsobjects.h"
#include "info.h"
#include "memory.h"
#include "refusals.h"

namespace {

constexpr const char *kDirType = "host directory";

// The script's directory object.
struct ScriptDir {
    fsobjects::Dir *dir;  // the open scan; NULL once closed
};

// The directory object at index, raising when it is none.
ScriptDir *DirObject(lua_State *L, int index) {
    return static_cast<ScriptDir *>(luaL_checkudata(L, index, kDirType));
}

// The open scan of the object at index, raising when it is closed.
fsobjects::Dir *OpenDirArg(lua_State *L, int index) {
    ScriptDir *object = DirObject(L, index);
    if (object->dir == nullptr) luaL_error(L, "attempt to use a closed directory");
    return object->dir;
}

// Reads an optional {fullname = true} table at index into stat flags.
int StatFlagsArg(lua_State *L, int index) {
    if (lua_isnoneornil(L, index)) return 0;
    luaL_checktype(L, index, LUA_TTABLE);
    lua_getfield(L, index, "fullname");
    int flags = lua_toboolean(L, -1) ? FSOBJ_FULLNAME : 0;
    lua_pop(L, 1);
    return flags;
}

// Pushes the info table of record and gives back a name that is host memory.
void PushInfoAndRelease(lua_State *L, FSObjInfo &record, bool nameOwned) {
    info::PushInfoTable(L, record);
    if (nameOwned) memory::Free(record.name);
}

// Pushes a boolean result; returns 1.
int PushResult(lua_State *L, bool ok) {
    lua_pushboolean(L, ok);
    return 1;
}

// host.opendir(path) -> directory or nil, message
int HostOpenDir(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    auto *object = static_cast<ScriptDir *>(lua_newuserdatauv(L, sizeof(ScriptDir), 0));
    object->dir = nullptr;
    luaL_setmetatable(L, kDirType);
    object->dir = fsobjects::OpenDir(path);
    if (object->dir) return 1;
    lua_pushnil(L);
    refusals::PushMessage(L, path, refusals::Request::kScan, false, errno);
    return 2;
}

// d:next() -> info table, or nil at the end
int DirNext(lua_State *L) {
    FSObjInfo record;
    if (!fsobjects::Next(OpenDirArg(L, 1), &record)) return 0;
    info::PushInfoTable(L, record);
    return 1;
}

// d:rewind() -> boolean
int DirRewind(lua_State *L) { return PushResult(L, fsobjects::Rewind(OpenDirArg(L, 1))); }

// d:stat([{fullname = true}]) -> info table or nil
int DirStat(lua_State *L) {
    fsobjects::Dir *dir = OpenDirArg(L, 1);
    int flags = StatFlagsArg(L, 2);
    FSObjInfo record;
    if (!fsobjects::StatDir(dir, flags, &record)) return 0;
    PushInfoAndRelease(L, record, fsobjects::NameIsOwned(dir, flags));
    return 1;
}

// d:close(), also __gc and __close: ends a scan still open.
int DirClose(lua_State *L) {
    ScriptDir *object = DirObject(L, 1);
    fsobjects::Dir *dir = object->dir;
    object->dir = nullptr;
    if (dir) fsobjects::CloseDir(dir);
    return 0;
}

// d:close() -> true; using a closed directory is an error.
int DirCloseMethod(lua_State *L) {
    OpenDirArg(L, 1);
    DirClose(L);
    return PushResult(L, true);
}

// d:servedby() -> adapter name or nil
int DirServedBy(lua_State *L) {
    const char *name = fsobjects::ServedBy(OpenDirArg(L, 1));
    if (name == nullptr)
        lua_pushnil(L);
    else
        lua_pushstring(L, name);
    return 1;
}

// __tostring
int DirToString(lua_State *L) {
    ScriptDir *object = DirObject(L, 1);
    if (object->dir == nullptr)
        lua_pushliteral(L, "host directory (closed)");
    else
        lua_pushfstring(L, "host directory (%p)", static_cast<void *>(object->dir));
    return 1;
}

// host.listdir(path) -> array of info tables, or nil, message
int HostListDir(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    fsobjects::Dir *dir = fsobjects::OpenDir(path);
    if (dir == nullptr) {
        lua_pushnil(L);
        refusals::PushMessage(L, path, refusals::Request::kScan, false, errno);
        return 2;
    }
    lua_newtable(L);
    FSObjInfo record;
    for (lua_Integer n = 1; fsobjects::Next(dir, &record); ++n) {
        info::PushInfoTable(L, record);
        lua_rawseti(L, -2, n);
    }
    fsobjects::CloseDir(dir);
    return 1;
}

// host.stat(path [, {fullname = true}]) -> info table or nil
int HostStat(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    int flags = StatFlagsArg(L, 2);
    FSObjInfo record;
    bool nameOwned;
    if (!fsobjects::Stat(path, flags, &record, &nameOwned)) return 0;
    PushInfoAndRelease(L, record, nameOwned);
    return 1;
}

// host.mkdir(path) -> boolean
int HostMkDir(lua_State *L) { return PushResult(L, fsobjects::MakeDir(luaL_checkstring(L, 1))); }

// host.delete(path) -> boolean
int HostDelete(lua_State *L) { return PushResult(L, fsobjects::Delete(luaL_checkstring(L, 1))); }

// host.rename(path, newname) -> boolean
int HostRename(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    return PushResult(L, fsobjects::Rename(path, luaL_checkstring(L, 2)));
}

// host.move(path, destpath) -> true, or false (and -1 when an adapter
// refuses to move between two archives)
int HostMove(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    int result = fsobjects::Move(path, luaL_checkstring(L, 2));
    lua_pushboolean(L, result > 0);
    if (result >= 0) return 1;
    lua_pushinteger(L, -1);
    return 2;
}

// host.setattributes(path, {time = "DD-Mon-YYYY HH:MM:SS", comment = "..."})
// -> boolean
int HostSetAttributes(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    luaL_checktype(L, 2, LUA_TTABLE);
    FSObjInfo attributes = {};
    int flags = 0;
    if (lua_getfield(L, 2, "time") != LUA_TNIL) {
        const char *time = lua_tostring(L, -1);
        if (time == nullptr || !info::ParseDate(time, &attributes.modified))
            return luaL_argerror(L, 2, "'time' must be a date like \"01-Jan-1978 12:00:00\"");
        flags |= FSOBJ_SETTIME;
    }
    if (lua_getfield(L, 2, "comment") != LUA_TNIL) {
        if (lua_type(L, -1) != LUA_TSTRING) return luaL_argerror(L, 2, "'comment' must be a string");
        attributes.comment = const_cast<char *>(lua_tostring(L, -1));
        flags |= FSOBJ_SETCOMMENT;
    }
    return PushResult(L, fsobjects::SetAttributes(path, flags, &attributes));
}

const luaL_Reg kDirMethods[] = {
    {"next", DirNext},   {"rewind", DirRewind},        {"stat", DirStat},
    {"close", DirCloseMethod}, {"servedby", DirServedBy}, {nullptr, nullptr},
};

const luaL_Reg kDirMeta[] = {
    {"__gc", DirClose}, {"__close", DirClose}, {"__tostring", DirToString}, {nullptr, nullptr},
};

const luaL_Reg kFunctions[] = {
    {"opendir", HostOpenDir}, {"listdir", HostListDir}, {"stat", HostStat},
    {"mkdir", HostMkDir},     {"delete", HostDelete},   {"rename", HostRename},
    {"move", HostMove},       {"setattributes", HostSetAttributes}, {nullptr, nullptr},
};

}  // namespace

void AddDirectoryFunctions(lua_State *L) {
    luaL_newmetatable(L, kDirType);
    luaL_setfuncs(L, kDirMeta, 0);
    luaL_newlib(L, kDirMethods);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
    luaL_setfuncs(L, kFunctions, 0);
}
