// host.open and its file objects, host.readfile and host.writefile.
#include "script_host.h"

#include <cerrno>
#include <cstring>

#include "info.h"
#include "memory.h"
#include "refusals.h"
#include "script_file.h"

ScriptFile *FileObject(lua_State *L, int index) {
    return static_cast<ScriptFile *>(luaL_checkudata(L, index, kFileType));
}

ScriptFile *OpenFileObject(lua_State *L, int index) {
    ScriptFile *object = FileObject(L, index);
    if (object->file == nullptr) luaL_error(L, "attempt to use a closed file");
    return object;
}

namespace {

// Largest piece written by one host file call.
constexpr size_t kChunk = 1 << 20;
// Room for a number as f:write formats it.
constexpr size_t kNumberText = 64;
// Piece size when reading to the end of a file of unknown length.
constexpr size_t kReadAllChunk = 1 << 16;

// What host.open read from its options table.
struct OpenOptions {
    const char *password = nullptr;    // "password", or NULL
    double encryption = 0;             // "encryption"
    bool hasEncryption = false;        // "encryption" was given
    bool sequential = false;           // "sequential = true"
    const char *source = nullptr;      // "source" bytes, or NULL
    size_t sourceLength = 0;           // their length
    ScriptFile *sourceFile = nullptr;  // "sourcefile", or NULL
    int keepIndex = 0;                 // stack index of the source or source file, or 0
};

// The open file of the object at index, raising when it is closed.
HostFile *OpenFileArg(lua_State *L, int index) { return OpenFileObject(L, index)->file; }

// What a mode string of host.open asks for.
struct OpenMode {
    int host;       // the host mode (FMODE_ values)
    bool truncate;  // emptied before a read-write open ("w+")
    bool append;    // every write at the end ("a", "a+")
    bool reads;     // reads allowed (not "w", nor "a" although its host mode reads)
};

// Raises host.open's error for a mode it does not know.
[[noreturn]] void InvalidMode(lua_State *L, int index, const char *mode) {
    luaL_argerror(L, index, lua_pushfstring(L, "invalid mode '%s'", mode));
    __builtin_unreachable();
}

// Reads host.open's mode argument: Lua's io.open modes ("r", "w", "a",
// each with an optional "+", then any "b"s) and orhost's own "rw".
OpenMode ModeArg(lua_State *L, int index) {
    const char *mode = luaL_optstring(L, index, "r");
    if (mode[0] == '\0' || strchr("rwa", mode[0]) == nullptr) InvalidMode(L, index, mode);
    const char *rest = mode + 1;
    bool plus = *rest == '+' || (mode[0] == 'r' && *rest == 'w');
    if (plus) ++rest;
    if (rest[strspn(rest, "b")] != '\0') InvalidMode(L, index, mode);
    if (mode[0] == 'a') return {FMODE_READWRITE, false, true, plus};
    if (!plus) return {mode[0] == 'r' ? FMODE_READ : FMODE_WRITE, false, false, mode[0] == 'r'};
    return {FMODE_READWRITE, mode[0] == 'w', false, true};
}

// Pushes field key of the options table at index; raises unless it is nil
// or of type want. Returns whether it is present.
bool OptionField(lua_State *L, int index, const char *key, int want) {
    int type = lua_getfield(L, index, key);
    if (type == LUA_TNIL) return false;
    if (type != want)
        luaL_argerror(L, index, lua_pushfstring(L, "option '%s' must be a %s", key, lua_typename(L, want)));
    return true;
}

// Reads host.open's options table at index (absent: no options). Values
// stay on the stack so that their strings live through the open.
OpenOptions ReadOpenOptions(lua_State *L, int index) {
    OpenOptions o;
    if (lua_isnoneornil(L, index)) return o;
    luaL_checktype(L, index, LUA_TTABLE);
    if (OptionField(L, index, "password", LUA_TSTRING)) o.password = lua_tostring(L, -1);
    if (OptionField(L, index, "encryption", LUA_TNUMBER)) {
        o.encryption = lua_tonumber(L, -1);
        o.hasEncryption = true;
    }
    if (OptionField(L, index, "sequential", LUA_TBOOLEAN)) o.sequential = lua_toboolean(L, -1);
    if (OptionField(L, index, "source", LUA_TSTRING)) {
        o.source = lua_tolstring(L, -1, &o.sourceLength);
        o.keepIndex = lua_gettop(L);
    }
    if (lua_getfield(L, index, "sourcefile") != LUA_TNIL) {
        ScriptFile *object = static_cast<ScriptFile *>(luaL_testudata(L, -1, kFileType));
        if (object == nullptr || object->file == nullptr)
            luaL_argerror(L, index, "option 'sourcefile' must be an open host file");
        o.sourceFile = object;
        o.keepIndex = lua_gettop(L);
    }
    return o;
}

// Pushes a new, closed file object.
ScriptFile *NewFileObject(lua_State *L) {
    auto *object = static_cast<ScriptFile *>(lua_newuserdatauv(L, sizeof(ScriptFile), 1));
    object->file = nullptr;
    object->buffer = {};
    object->readable = object->writable = object->append = false;
    luaL_setmetatable(L, kFileType);
    return object;
}

// The request an open in mode makes.
refusals::Request RequestOf(int mode) {
    if (mode == FMODE_READ) return refusals::Request::kRead;
    return mode == FMODE_WRITE ? refusals::Request::kWrite : refusals::Request::kReadWrite;
}

// Pushes nil and the message for a failed open (see refusals.h); returns 2.
int OpenFailure(lua_State *L, const char *path, int mode, bool passwordGiven, int error) {
    lua_pushnil(L);
    refusals::PushMessage(L, path, RequestOf(mode), passwordGiven, error);
    return 2;
}

// Opens path as mode asks, handing tags on; "w+" first empties the file
// through a write open and its close. NULL on failure, with errno set.
HostFile *OpenInMode(const char *path, const OpenMode &mode, const TagItem *tags) {
    if (mode.truncate) {
        HostFile *emptied = files::Open(path, FMODE_WRITE, tags);
        if (emptied == nullptr) return nullptr;
        if (!files::Close(emptied)) {
            errno = EIO;
            return nullptr;
        }
    }
    return files::Open(path, mode.host, tags);
}

// host.open(path [, mode [, options]]) -> file or nil, message
int HostOpen(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    OpenMode mode = ModeArg(L, 2);
    OpenOptions o = ReadOpenOptions(L, 3);
    ScriptFile *object = NewFileObject(L);
    if (o.keepIndex) {
        lua_pushvalue(L, o.keepIndex);
        lua_setiuservalue(L, -2, 1);
    }
    uint32_t flags = FOPENFLAG_SEQUENTIAL;
    UserTag userTags[2] = {};
    int nUser = 0;
    if (o.password) userTags[nUser++] = {nullptr, "password", o.password, 0};
    if (o.hasEncryption) userTags[nUser++] = {nullptr, "encryption", nullptr, o.encryption};
    if (nUser == 2) userTags[0].next = &userTags[1];
    TagItem tags[8];
    int n = 0;
    if (o.sequential) tags[n++] = {FOPENTAG_FLAGS, reinterpret_cast<uintptr_t>(&flags)};
    if (o.source) {
        tags[n++] = {FOPENTAG_SOURCE, reinterpret_cast<uintptr_t>(o.source)};
        tags[n++] = {FOPENTAG_LENGTH, o.sourceLength};
    }
    if (o.sourceFile) {
        // The adapter reads the source file from wherever its own position is.
        readbuffer::Sync(o.sourceFile->file, &o.sourceFile->buffer);
        tags[n++] = {FOPENTAG_HANDLE, reinterpret_cast<uintptr_t>(o.sourceFile->file)};
    }
    if (nUser) tags[n++] = {FOPENTAG_USERTAGS, reinterpret_cast<uintptr_t>(&userTags[0])};
    tags[n] = {TAG_DONE, 0};
    object->file = OpenInMode(path, mode, tags);
    if (object->file == nullptr) return OpenFailure(L, path, mode.host, o.password != nullptr, errno);
    object->readable = mode.reads;
    object->writable = mode.host != FMODE_READ;
    object->append = mode.append;
    return 1;
}

// Closes the object's file if open; marks it closed first. Returns the
// close's result (true for an object closed already).
bool CloseObject(lua_State *L, ScriptFile *object) {
    HostFile *file = object->file;
    if (file == nullptr) return true;
    object->file = nullptr;
    readbuffer::Reset(&object->buffer);
    bool ok = files::Close(file);
    lua_pushnil(L);
    lua_setiuservalue(L, 1, 1);
    return ok;
}

// Writes all of data to file; false when a write fails or falls short.
// Clears errno first, so that a failure that sets none gives no stale reason.
bool WriteAll(HostFile *file, const char *data, size_t length) {
    errno = 0;
    for (size_t done = 0; done < length;) {
        size_t chunk = length - done > kChunk ? kChunk : length - done;
        if (files::Write(file, data + done, static_cast<int32_t>(chunk)) != static_cast<int32_t>(chunk)) return false;
        done += chunk;
    }
    return true;
}

// Pushes nil and "name: reason" for a failed call on the object's file;
// returns 2.
int FileFailure(lua_State *L, ScriptFile *object, const char *reason) {
    lua_pushnil(L);
    lua_pushfstring(L, "%s: %s", files::Name(object->file), reason);
    return 2;
}

// Why an archive refused written data, as the adapter's errno tells it (0:
// no reason given).
const char *WriteRefusal(int error) {
    switch (error) {
        case EACCES: return "permission denied: this process may not write the archive file";
        case EWOULDBLOCK: return "the archive is locked by another process";
        case EPERM:
            return "the archive belongs to another user: replacing it would take it from its owner, "
                   "and writing it in place would give up crash safety";
        default: return "the archive did not take the data";
    }
}

// Why a write failed: the system's error on a real file, the adapter's
// reason on an archive.
const char *WriteFailureReason(bool byAdapter, int error) {
    return byAdapter ? WriteRefusal(error) : strerror(error);
}

// Makes the object's file ready for a write where its reader is, or at its
// end when it appends; false when it cannot seek there.
bool PrepareWrite(ScriptFile *object) {
    if (!object->append) return readbuffer::Sync(object->file, &object->buffer);
    readbuffer::Reset(&object->buffer);
    return files::Seek(object->file, 0, SEEK_FROM_END) >= 0;
}

// The bytes f:write writes for argument index, which FileWrite has checked
// is a string or a number: the string, or the number as Lua's file:write
// formats it (into number).
const char *WrittenBytes(lua_State *L, int index, char (&number)[kNumberText], size_t *length) {
    if (lua_type(L, index) != LUA_TNUMBER) return lua_tolstring(L, index, length);
    int n = lua_isinteger(L, index) ? snprintf(number, sizeof number, LUA_INTEGER_FMT, lua_tointeger(L, index))
                                    : snprintf(number, sizeof number, LUA_NUMBER_FMT, lua_tonumber(L, index));
    *length = static_cast<size_t>(n);
    return number;
}

// f:write(...) -> the file, or nil and a message
int FileWrite(lua_State *L) {
    ScriptFile *object = OpenFileObject(L, 1);
    int last = lua_gettop(L);
    for (int i = 2; i <= last; ++i) {
        if (lua_type(L, i) != LUA_TSTRING && lua_type(L, i) != LUA_TNUMBER) luaL_typeerror(L, i, "string");
    }
    if (!object->writable) return FileFailure(L, object, strerror(EBADF));
    if (!PrepareWrite(object)) return FileFailure(L, object, "cannot seek to where the write goes");
    for (int i = 2; i <= last; ++i) {
        char number[kNumberText];
        size_t length;
        const char *data = WrittenBytes(L, i, number, &length);
        if (!WriteAll(object->file, data, length))
            return FileFailure(L, object, WriteFailureReason(files::ByAdapter(object->file), errno));
    }
    lua_settop(L, 1);
    return 1;
}

// f:getc() -> byte or nil
int FileGetC(lua_State *L) {
    ScriptFile *object = OpenFileObject(L, 1);
    if (!object->readable) return 0;
    object->buffer.failed = false;
    int byte = readbuffer::GetC(object->file, &object->buffer);
    if (byte < 0) return 0;
    lua_pushinteger(L, byte);
    return 1;
}

// f:putc(byte) -> true, or false on error
int FilePutC(lua_State *L) {
    ScriptFile *object = OpenFileObject(L, 1);
    int byte = static_cast<int>(luaL_checkinteger(L, 2));
    lua_pushboolean(L, object->writable && PrepareWrite(object) && files::PutC(object->file, byte));
    return 1;
}

// f:seek([whence [, offset]]) -> the new position, or nil and a message
int FileSeek(lua_State *L) {
    static const char *const kWhence[] = {"cur", "set", "end", nullptr};
    ScriptFile *object = OpenFileObject(L, 1);
    int mode = luaL_checkoption(L, 2, "cur", kWhence);
    lua_Integer offset = luaL_optinteger(L, 3, 0);
    int64_t position = readbuffer::Seek(object->file, &object->buffer, offset, mode);
    if (position < 0) return FileFailure(L, object, "cannot seek there");
    lua_pushinteger(L, position);
    return 1;
}

// f:eof() -> boolean
int FileEof(lua_State *L) {
    ScriptFile *object = OpenFileObject(L, 1);
    lua_pushboolean(L, readbuffer::AtEnd(object->file, &object->buffer));
    return 1;
}

// f:stat([{fullname = true}]) -> info table or nil
int FileStat(lua_State *L) {
    HostFile *file = OpenFileArg(L, 1);
    int flags = 0;
    if (!lua_isnoneornil(L, 2)) {
        luaL_checktype(L, 2, LUA_TTABLE);
        lua_getfield(L, 2, "fullname");
        flags = lua_toboolean(L, -1) ? FSOBJ_FULLNAME : 0;
    }
    FSObjInfo record;
    if (!files::Examine(file, flags, &record)) return 0;
    info::PushInfoTable(L, record);
    if (files::ByAdapter(file) && (flags & FSOBJ_FULLNAME)) memory::Free(record.name);
    return 1;
}

// f:flush() -> boolean
int FileFlush(lua_State *L) {
    lua_pushboolean(L, files::Flush(OpenFileArg(L, 1)));
    return 1;
}

// f:close() -> true, or false when the close failed
int FileClose(lua_State *L) {
    OpenFileArg(L, 1);
    lua_pushboolean(L, CloseObject(L, FileObject(L, 1)));
    return 1;
}

// f:servedby() -> adapter name, or nil for the host's own file system
int FileServedBy(lua_State *L) {
    const char *name = files::ServedBy(OpenFileArg(L, 1));
    if (name == nullptr)
        lua_pushnil(L);
    else
        lua_pushstring(L, name);
    return 1;
}

// __gc and __close: closes a file still open.
int FileCollect(lua_State *L) {
    CloseObject(L, FileObject(L, 1));
    return 0;
}

// __tostring
int FileToString(lua_State *L) {
    ScriptFile *object = FileObject(L, 1);
    if (object->file == nullptr)
        lua_pushliteral(L, "host file (closed)");
    else
        lua_pushfstring(L, "host file (%p)", static_cast<void *>(object->file));
    return 1;
}

// host.readfile(path) -> contents, or nil and a message when the file
// cannot be opened or any read fails
int HostReadFile(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    HostFile *file = files::Open(path, FMODE_READ, nullptr);
    if (file == nullptr) return OpenFailure(L, path, FMODE_READ, false, errno);
    luaL_Buffer buffer;
    luaL_buffinit(L, &buffer);
    int32_t got;
    while ((got = files::Read(file, luaL_prepbuffsize(&buffer, kReadAllChunk), static_cast<int32_t>(kReadAllChunk))) > 0)
        luaL_addsize(&buffer, static_cast<size_t>(got));
    int error = errno;
    bool closed = files::Close(file);
    if (got < 0 || !closed) {
        lua_pushnil(L);
        lua_pushfstring(L, "%s: %s", path, strerror(got < 0 ? error : errno));
        return 2;
    }
    luaL_pushresult(&buffer);
    return 1;
}

// host.writefile(path, data) -> true, or false and a message
int HostWriteFile(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    size_t length;
    const char *data = luaL_checklstring(L, 2, &length);
    HostFile *file = files::Open(path, FMODE_WRITE, nullptr);
    if (file == nullptr) {
        lua_pushboolean(L, 0);
        refusals::PushMessage(L, path, refusals::Request::kWrite, false, errno);
        return 2;
    }
    bool byAdapter = files::ByAdapter(file);
    bool written = WriteAll(file, data, length);
    int error = errno;
    bool closed = files::Close(file);
    if (written && closed) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushboolean(L, 0);
    lua_pushfstring(L, "%s: %s", path, WriteFailureReason(byAdapter, written ? errno : error));
    return 2;
}

const luaL_Reg kFileMethods[] = {
    {"write", FileWrite}, {"getc", FileGetC},   {"seek", FileSeek},
    {"eof", FileEof},     {"stat", FileStat},   {"flush", FileFlush}, {"close", FileClose},
    {"servedby", FileServedBy}, {"putc", FilePutC}, {nullptr, nullptr},
};

const luaL_Reg kFileMeta[] = {
    {"__gc", FileCollect}, {"__close", FileCollect}, {"__tostring", FileToString}, {nullptr, nullptr},
};

const luaL_Reg kFunctions[] = {
    {"open", HostOpen},
    {"readfile", HostReadFile},
    {"writefile", HostWriteFile},
    {nullptr, nullptr},
};

}  // namespace

void AddFileFunctions(lua_State *L) {
    luaL_newmetatable(L, kFileType);
    luaL_setfuncs(L, kFileMeta, 0);
    luaL_newlib(L, kFileMethods);
    AddReadMethods(L);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
    luaL_setfuncs(L, kFunctions, 0);
}
