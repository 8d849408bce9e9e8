// Table 10: script arguments, stack and tables.
#include "host_api.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include <lua.hpp>

#include "errors.h"
#include "plugin_calls.h"

namespace {

lua_State *State(ScriptState *L) { return reinterpret_cast<lua_State *>(L); }

// The type name Lua's own argument errors use for the value at index.
const char *TypeNameOf(lua_State *L, int index) {
    if (luaL_getmetafield(L, index, "__name") == LUA_TSTRING) return lua_tostring(L, -1);
    if (lua_type(L, index) == LUA_TLIGHTUSERDATA) return "light userdata";
    return luaL_typename(L, index);
}

// Stack level of the code that called the running command, as seen from
// inside the plug-in: the protected body, the command function, its caller.
constexpr int kCommandCallerLevel = 2;

// Raises "bad argument #index to 'Command' (message)" with the caller's
// position in front, as Lua's own argument errors have it.
int ArgError(lua_State *L, int index, const char *message) {
    luaL_where(L, kCommandCallerLevel);
    lua_pushfstring(L, "bad argument #%d to '%s' (%s)", index, CurrentCommandName(), message);
    lua_concat(L, 2);
    return lua_error(L);
}

// Raises "bad argument ... (expected expected, got TYPE)".
int TypeError(lua_State *L, int index, const char *expected) {
    const char *message = lua_pushfstring(L, "%s expected, got %s", expected, TypeNameOf(L, index));
    return ArgError(L, index, message);
}

// Pushes n as an integer when it is one, so that scripts print 3, not 3.0.
void PushNumber(ScriptState *L, double n) {
    if (std::floor(n) == n && n >= -9.2e18 && n <= 9.2e18)
        lua_pushinteger(State(L), static_cast<lua_Integer>(n));
    else
        lua_pushnumber(State(L), n);
}

// A number truncated toward zero to 32 bits (two's complement); 0 for
// values that are not finite or lie far outside any 64-bit range.
uint32_t TruncateToUint32(double n) {
    if (!std::isfinite(n) || n <= -9.2e18 || n >= 9.2e18) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(n));
}

int GetArgCount(ScriptState *L) { return lua_gettop(State(L)); }
void SetStackTop(ScriptState *L, int index) { lua_settop(State(L), index); }
void PushValue(ScriptState *L, int index) { lua_pushvalue(State(L), index); }
int IsValuePresent(ScriptState *L, int index) { return !lua_isnoneornil(State(L), index); }
double ToNumber(ScriptState *L, int index) { return lua_tonumber(State(L), index); }
void PushStringLen(ScriptState *L, const char *s, size_t length) { lua_pushlstring(State(L), s, length); }
void PushString(ScriptState *L, const char *s) { lua_pushstring(State(L), s); }
void PushPointer(ScriptState *L, void *p) { lua_pushlightuserdata(State(L), p); }
void NewTable(ScriptState *L) { lua_newtable(State(L)); }

// Replaces the key on top by its value in the table at index (nil when the
// value there is not a table).
void GetTable(ScriptState *L, int table) {
    lua_State *S = State(L);
    if (lua_istable(S, table)) {
        lua_gettable(S, table);
    } else {
        lua_pop(S, 1);
        lua_pushnil(S);
    }
}

// Pops key and value into the table at index (dropped when it is not a table).
void SetTable(ScriptState *L, int table) {
    lua_State *S = State(L);
    if (lua_istable(S, table))
        lua_settable(S, table);
    else
        lua_pop(S, 2);
}

// Calls the function below its nargs arguments, protected. Returns 0, or
// errors::kCallbackFailed with the error value kept for the command.
int CallFunction(ScriptState *L, int nargs, int nresults, int) {
    lua_State *S = State(L);
    if (lua_pcall(S, nargs, nresults, 0) == LUA_OK) return 0;
    errors::KeepCallbackError(S);
    return errors::kCallbackFailed;
}

const char *GetStringArg(ScriptState *L, int index, size_t *length) {
    lua_State *S = State(L);
    const char *s = lua_tolstring(S, index, length);
    if (s == nullptr) TypeError(S, index, "string");
    return s;
}

const char *GetOptStringArg(ScriptState *L, int index, const char *def, size_t *length) {
    lua_State *S = State(L);
    if (lua_isnoneornil(S, index)) {
        if (length) *length = def ? strlen(def) : 0;
        return def;
    }
    return GetStringArg(L, index, length);
}

double GetNumberArg(ScriptState *L, int index) {
    lua_State *S = State(L);
    int isNumber = 0;
    double n = lua_tonumberx(S, index, &isNumber);
    if (!isNumber) TypeError(S, index, "number");
    return n;
}

double GetOptNumberArg(ScriptState *L, int index, double def) {
    if (lua_isnoneornil(State(L), index)) return def;
    return GetNumberArg(L, index);
}

void CheckTableArg(ScriptState *L, int index) {
    if (lua_type(State(L), index) != LUA_TTABLE) TypeError(State(L), index, "table");
}

void CheckFunctionArg(ScriptState *L, int index) {
    if (lua_type(State(L), index) != LUA_TFUNCTION) TypeError(State(L), index, "function");
}

void GetIdArg(ScriptState *L, int index, ObjectId *id) {
    lua_State *S = State(L);
    if (lua_type(S, index) == LUA_TLIGHTUSERDATA) {
        id->numericId = 0;
        id->pointerId = reinterpret_cast<uintptr_t>(lua_touserdata(S, index));
        return;
    }
    if (lua_type(S, index) != LUA_TNUMBER) TypeError(S, index, "number");
    id->numericId = TruncateToUint32(lua_tonumber(S, index));
    id->pointerId = 0;
}

// Marks a pointer id that the plug-in replaces with its object's address.
constexpr uintptr_t kNewAutomaticId = 1;

void GetNewIdArg(ScriptState *L, int index, ObjectId *id) {
    if (lua_isnoneornil(State(L), index)) {
        id->numericId = 0;
        id->pointerId = kNewAutomaticId;
        return;
    }
    GetIdArg(L, index, id);
}

const char *GetFileNameArg(ScriptState *L, int index) { return GetStringArg(L, index, nullptr); }

HostScriptApi MakeTable() {
    HostScriptApi t = {};
    t.GetArgCount = GetArgCount;
    t.SetStackTop = SetStackTop;
    t.PushValue = PushValue;
    t.IsValuePresent = IsValuePresent;
    t.ToNumber = ToNumber;
    t.PushNumber = PushNumber;
    t.PushStringLen = PushStringLen;
    t.PushString = PushString;
    t.PushPointer = PushPointer;
    t.GetTable = GetTable;
    t.NewTable = NewTable;
    t.SetTable = SetTable;
    t.CallFunction = CallFunction;
    t.GetStringArg = GetStringArg;
    t.GetOptStringArg = GetOptStringArg;
    t.GetNumberArg = GetNumberArg;
    t.GetOptNumberArg = GetOptNumberArg;
    t.CheckTableArg = CheckTableArg;
    t.CheckFunctionArg = CheckFunctionArg;
    t.GetIdArg = GetIdArg;
    t.GetFileNameArg = GetFileNameArg;
    t.GetNewIdArg = GetNewIdArg;
    return t;
}

const HostScriptApi table = MakeTable();

}  // namespace

const HostScriptApi *ScriptApi() { return &table; }
