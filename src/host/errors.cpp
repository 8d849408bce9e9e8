#include "errors.h"

#include <orvanel/plugin.h>

#include <map>
#include <string>

namespace errors {
namespace {

// Codes handed out by Register start here, clear of the host's own numbers.
constexpr int kFirstRegisteredCode = 2000;

const std::map<int, std::string> kHostTexts = {
    {HOSTERR_NOMEMORY, "Out of memory!"},
    {HOSTERR_SHORTWRITE, "Could not write all data!"},
    {HOSTERR_OPENFILE, "Cannot open file %s!"},
    {HOSTERR_OPENWRITE, "Cannot open file %s for writing!"},
    {HOSTERR_BADVALUE, "Invalid value!"},
    {HOSTERR_NOATTRIBUTE, "Attribute not supported!"},
    {HOSTERR_UNKNOWNOPTION, "Unknown option %s!"},
};

std::map<int, std::string> registeredTexts;
std::string argument;
int lastError = 0;
// Registry reference of the kept callback error value, or LUA_NOREF.
int keptCallbackError = LUA_NOREF;

// The text registered or fixed for code; a generic one for unknown codes.
std::string TextOf(int code) {
    auto registered = registeredTexts.find(code);
    if (registered != registeredTexts.end()) return registered->second;
    auto fixed = kHostTexts.find(code);
    if (fixed != kHostTexts.end()) return fixed->second;
    return "Error " + std::to_string(code) + "!";
}

// Pushes the message for code with the argument in place of "%s", and
// clears the argument.
void PushMessage(lua_State *L, int code) {
    std::string text = TextOf(code);
    size_t slot = text.find("%s");
    if (slot != std::string::npos) text.replace(slot, 2, argument);
    argument.clear();
    lua_pushlstring(L, text.data(), text.size());
}

// Pushes the kept callback error value and forgets it; false when none is kept.
bool PushKeptCallbackError(lua_State *L) {
    if (keptCallbackError == LUA_NOREF) return false;
    lua_rawgeti(L, LUA_REGISTRYINDEX, keptCallbackError);
    luaL_unref(L, LUA_REGISTRYINDEX, keptCallbackError);
    keptCallbackError = LUA_NOREF;
    return true;
}

}  // namespace

int Register(const char *text) {
    int code = kFirstRegisteredCode + static_cast<int>(registeredTexts.size());
    registeredTexts[code] = text ? text : "";
    return code;
}

void SetArgument(const char *text) { argument = text ? text : ""; }

void KeepCallbackError(lua_State *L) {
    if (keptCallbackError != LUA_NOREF) luaL_unref(L, LUA_REGISTRYINDEX, keptCallbackError);
    keptCallbackError = luaL_ref(L, LUA_REGISTRYINDEX);
}

int Raise(lua_State *L, int code) {
    lastError = code;
    if (code != kCallbackFailed || !PushKeptCallbackError(L)) PushMessage(L, code);
    return lua_error(L);
}

int LastError() { return lastError; }

}  // namespace errors
