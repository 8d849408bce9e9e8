// f:read and f:lines: the formats and results of Lua's own file:read, over
// the file object's read buffer.
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstring>

#include "script_file.h"

namespace {

// Longest numeral the "n" format reads, as in Lua.
constexpr size_t kMaxNumeral = 200;
// Most formats one f:lines iterator keeps, as in Lua.
constexpr int kMaxLinesFormats = 250;
// Piece of the result read per step.
constexpr size_t kPiece = 1 << 16;

// A numeral being read: the characters taken and one look-ahead.
struct Numeral {
    HostFile *file;                // the file read
    ReadBuffer *buffer;            // its read buffer
    int c;                         // the look-ahead character, -1 at the end
    size_t n;                      // characters taken
    char text[kMaxNumeral + 1];    // the characters taken
};

// Takes the look-ahead character and reads the next; false (and no
// numeral) when the numeral grows too long.
bool TakeChar(Numeral *numeral) {
    if (numeral->n >= kMaxNumeral) {
        numeral->text[0] = '\0';
        return false;
    }
    numeral->text[numeral->n++] = static_cast<char>(numeral->c);
    numeral->c = readbuffer::GetC(numeral->file, numeral->buffer);
    return true;
}

// Takes the look-ahead character when it is one of the two in set.
bool Accept(Numeral *numeral, const char *set) {
    return (numeral->c == set[0] || numeral->c == set[1]) && TakeChar(numeral);
}

// Takes a run of (hexadecimal) digits; their count.
int TakeDigits(Numeral *numeral, bool hex) {
    int count = 0;
    while ((hex ? isxdigit(numeral->c) : isdigit(numeral->c)) && TakeChar(numeral)) ++count;
    return count;
}

// The "n" format: reads the longest prefix that can start a numeral, as
// Lua does, and pushes its number or nil. True when it is a number.
bool ReadNumber(lua_State *L, HostFile *file, ReadBuffer *buffer) {
    Numeral numeral{file, buffer, 0, 0, {}};
    const char point[2] = {localeconv()->decimal_point[0], '.'};
    do numeral.c = readbuffer::GetC(file, buffer);
    while (isspace(numeral.c));
    Accept(&numeral, "-+");
    bool hex = false;
    int count = 0;
    if (Accept(&numeral, "00")) {
        if (Accept(&numeral, "xX"))
            hex = true;
        else
            count = 1;
    }
    count += TakeDigits(&numeral, hex);
    if (Accept(&numeral, point)) count += TakeDigits(&numeral, hex);
    if (count > 0 && Accept(&numeral, hex ? "pP" : "eE")) {
        Accept(&numeral, "-+");
        TakeDigits(&numeral, false);
    }
    if (numeral.c >= 0) readbuffer::UngetC(buffer);
    numeral.text[numeral.n] = '\0';
    if (lua_stringtonumber(L, numeral.text)) return true;
    lua_pushnil(L);
    return false;
}

// The "l" and "L" formats: pushes the next line, with its newline when
// asked. True when there was a line (a newline or anything before the end).
bool ReadLine(lua_State *L, HostFile *file, ReadBuffer *buffer, bool keepNewline) {
    luaL_Buffer line;
    luaL_buffinit(L, &line);
    bool ended = false;
    while (!ended && readbuffer::Fill(file, buffer)) {
        const char *start = reinterpret_cast<const char *>(buffer->bytes + buffer->begin);
        size_t held = buffer->end - buffer->begin;
        const char *newline = static_cast<const char *>(memchr(start, '\n', held));
        ended = newline != nullptr;
        size_t take = ended ? static_cast<size_t>(newline - start) + 1 : held;
        luaL_addlstring(&line, start, ended && !keepNewline ? take - 1 : take);
        buffer->begin += take;
    }
    luaL_pushresult(&line);
    return ended || lua_rawlen(L, -1) > 0;
}

// A count, and the "a" format with count SIZE_MAX: pushes up to count
// bytes. True when it read any.
bool ReadBytes(lua_State *L, HostFile *file, ReadBuffer *buffer, size_t count) {
    luaL_Buffer bytes;
    luaL_buffinit(L, &bytes);
    size_t done = 0;
    while (done < count) {
        size_t piece = count - done < kPiece ? count - done : kPiece;
        size_t got = readbuffer::Read(file, buffer, luaL_prepbuffsize(&bytes, piece), piece);
        luaL_addsize(&bytes, got);
        done += got;
        if (got < piece) break;
    }
    luaL_pushresult(&bytes);
    return done > 0;
}

// The count 0: pushes "" and tells whether anything is left to read.
bool TestMore(lua_State *L, HostFile *file, ReadBuffer *buffer) {
    bool more = readbuffer::Fill(file, buffer);
    lua_pushliteral(L, "");
    return more;
}

// Pushes nil and "name: reason" for a read of file that failed with error;
// returns 2.
int ReadFailure(lua_State *L, HostFile *file, int error) {
    lua_pushnil(L);
    lua_pushfstring(L, "%s: %s", files::Name(file), strerror(error));
    return 2;
}

// Reads the format at index and pushes its result; false when it failed.
bool ReadFormat(lua_State *L, HostFile *file, ReadBuffer *buffer, int index) {
    if (lua_type(L, index) == LUA_TNUMBER) {
        lua_Integer count = luaL_checkinteger(L, index);
        luaL_argcheck(L, count >= 0, index, "negative count");
        if (count == 0) return TestMore(L, file, buffer);
        return ReadBytes(L, file, buffer, static_cast<size_t>(count));
    }
    const char *format = luaL_checkstring(L, index);
    if (*format == '*') ++format;  // Lua 5.1's spelling
    switch (*format) {
        case 'n': return ReadNumber(L, file, buffer);
        case 'l': return ReadLine(L, file, buffer, false);
        case 'L': return ReadLine(L, file, buffer, true);
        case 'a': ReadBytes(L, file, buffer, SIZE_MAX); return true;
        default: return luaL_argerror(L, index, "invalid format");
    }
}

// Reads the formats from index first to the top (a line without any) and
// returns their results as Lua does: up to the first that fails, which
// gives nil; nil and a message when a read failed.
int ReadFormats(lua_State *L, ScriptFile *object, int first) {
    HostFile *file = object->file;
    ReadBuffer *buffer = &object->buffer;
    int formats = lua_gettop(L) - first + 1;
    if (!object->readable) return ReadFailure(L, file, EBADF);
    buffer->failed = false;
    bool ok = true;
    int n = first;
    if (formats == 0) {
        ok = ReadLine(L, file, buffer, false);
        ++n;
    } else {
        luaL_checkstack(L, formats + LUA_MINSTACK, "too many arguments");
        for (; formats-- > 0 && ok; ++n) ok = ReadFormat(L, file, buffer, n);
    }
    if (buffer->failed) return ReadFailure(L, file, buffer->error);
    if (!ok) {
        lua_pop(L, 1);
        lua_pushnil(L);
    }
    return n - first;
}

// f:read(...) -> one result per format (see ReadFormats)
int FileRead(lua_State *L) { return ReadFormats(L, OpenFileObject(L, 1), 2); }

// The iterator of f:lines: the next results, nothing at the end; raises
// on a read error. Upvalues: the file object, the count of formats, the
// formats.
int NextLines(lua_State *L) {
    auto *object = static_cast<ScriptFile *>(lua_touserdata(L, lua_upvalueindex(1)));
    int formats = static_cast<int>(lua_tointeger(L, lua_upvalueindex(2)));
    if (object->file == nullptr) return luaL_error(L, "file is already closed");
    lua_settop(L, 1);
    luaL_checkstack(L, formats, "too many arguments");
    for (int i = 1; i <= formats; ++i) lua_pushvalue(L, lua_upvalueindex(2 + i));
    int n = ReadFormats(L, object, 2);
    if (lua_toboolean(L, -n)) return n;
    if (n > 1) return luaL_error(L, "%s", lua_tostring(L, -n + 1));
    return 0;
}

// f:lines(...) -> an iterator that reads the formats (a line without any)
// until the end, leaving the file open
int FileLines(lua_State *L) {
    OpenFileObject(L, 1);
    int formats = lua_gettop(L) - 1;
    luaL_argcheck(L, formats <= kMaxLinesFormats, kMaxLinesFormats + 2, "too many arguments");
    lua_pushvalue(L, 1);
    lua_pushinteger(L, formats);
    lua_rotate(L, 2, 2);
    lua_pushcclosure(L, NextLines, 2 + formats);
    return 1;
}

}  // namespace

void AddReadMethods(lua_State *L) {
    lua_pushcfunction(L, FileRead);
    lua_setfield(L, -2, "read");
    lua_pushcfunction(L, FileLines);
    lua_setfield(L, -2, "lines");
}
