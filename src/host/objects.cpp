#include "objects.h"

#include <string>
#include <vector>

#include "plugin_calls.h"
#include "plugins.h"

namespace objects {
namespace {

// One registered object type; its id is its position + 1.
struct ObjectType {
    Plugin *owner;             // the registering plug-in; NULL once it is unloaded
    std::string name;          // the type's name
    ObjectHeader **listHead;   // where the plug-in keeps its first record
    AttributeHandler handler;  // answers host.getattribute
};

std::vector<ObjectType> types;

// The live type with id typeId, or NULL.
ObjectType *FindType(lua_Integer typeId) {
    if (typeId < 1 || typeId > static_cast<lua_Integer>(types.size())) return nullptr;
    ObjectType *type = &types[typeId - 1];
    return type->owner ? type : nullptr;
}

// Reads the type id argument at index; raises for an unknown one.
ObjectType *TypeArg(lua_State *L, int index) {
    ObjectType *type = FindType(luaL_checkinteger(L, index));
    if (type == nullptr) luaL_argerror(L, index, "unknown object type");
    return type;
}

// Pushes the script's form of an object id.
void PushId(lua_State *L, const ObjectId &id) {
    if (id.pointerId != 0)
        lua_pushlightuserdata(L, reinterpret_cast<void *>(id.pointerId));
    else
        lua_pushinteger(L, id.numericId);
}

// What an attribute query hands to the protected call.
struct AttributeQuery {
    AttributeHandler handler;  // the type's handler
    int attribute;             // attribute number
    ObjectId id;               // the object asked about
};

// Runs the handler; returns its result (one pushed value or an error code).
int AttributeWork(lua_State *L, void *context) {
    auto *query = static_cast<AttributeQuery *>(context);
    int result = query->handler(reinterpret_cast<ScriptState *>(L), query->attribute, &query->id);
    return result >= HOSTERR_FIRST ? result : 1;
}

}  // namespace

int RegisterType(Plugin *owner, const char *name, ObjectHeader **listHead, AttributeHandler handler) {
    for (size_t i = 0; i < types.size(); ++i) {
        if (types[i].name == name && (types[i].owner == owner || types[i].owner == nullptr)) {
            types[i] = {owner, name, listHead, handler};
            return static_cast<int>(i + 1);
        }
    }
    types.push_back({owner, name, listHead, handler});
    return static_cast<int>(types.size());
}

void Forget(const Plugin *owner) {
    for (ObjectType &type : types)
        if (type.owner == owner) type.owner = nullptr;
}

int ScriptObjects(lua_State *L) {
    ObjectType *type = TypeArg(L, 1);
    lua_newtable(L);
    lua_Integer n = 0;
    for (ObjectHeader *object = *type->listHead; object; object = object->next) {
        PushId(L, object->id);
        lua_rawseti(L, -2, ++n);
    }
    return 1;
}

int ScriptGetAttribute(lua_State *L) {
    ObjectType *type = TypeArg(L, 1);
    AttributeQuery query = {type->handler, static_cast<int>(luaL_checkinteger(L, 3)), {0, 0}};
    if (lua_type(L, 2) == LUA_TLIGHTUSERDATA)
        query.id.pointerId = reinterpret_cast<uintptr_t>(lua_touserdata(L, 2));
    else
        query.id.numericId = static_cast<uint32_t>(luaL_checkinteger(L, 2));
    if (query.handler == nullptr) return luaL_error(L, "object type %s has no attributes", type->name.c_str());
    lua_settop(L, 0);
    int pushed = CallPlugin(L, type->owner, nullptr, AttributeWork, &query);
    return pushed > 0 ? 1 : 0;
}

}  // namespace objects
