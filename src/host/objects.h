// Object types that plug-ins register, and the script's view of them.
#pragma once

#include <orvanel/plugin.h>

#include <lua.hpp>

struct Plugin;

namespace objects {

// Registers (or, under a name seen before, renews) an object type of owner;
// returns its type id.
int RegisterType(Plugin *owner, const char *name, ObjectHeader **listHead, AttributeHandler handler);

// Forgets every type of owner (it is being unloaded).
void Forget(const Plugin *owner);

// Script function host.objects(typeid) -> array of the live objects' ids.
int ScriptObjects(lua_State *L);

// Script function host.getattribute(typeid, id, attribute) -> value.
int ScriptGetAttribute(lua_State *L);

}  // namespace objects
