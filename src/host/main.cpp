// orhost: runs a Lua script against plug-ins such as zip.orp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <climits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lua.hpp>

#include "host_api.h"
#include "memory.h"
#include "plugins.h"
#include "script_host.h"
#include "settings.h"
#include "sources.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: orhost [--plugin-dir DIR] [--host-version V.R] [--latin1] SCRIPT.lua [ARGS...]\n"
    "       orhost [--plugin-dir DIR] [--host-version V.R] [--latin1] -e 'lua code' [ARGS...]\n";

const char kHelp[] =
    "Runs a Lua 5.4 script against Orvanel plug-ins such as zip.orp.\n"
    "\n"
    "Options (before the script):\n"
    "  --plugin-dir DIR    where NAME.orp plug-ins are looked up. Default: $ORHOST_PLUGIN_DIR,\n"
    "                      else PREFIX/lib/orvanel/plugins beside an installed orhost, else\n"
    "                      the plug-in folder of the build that made this orhost.\n"
    "  --host-version V.R  the host version and revision reported to plug-ins (default 10.0).\n"
    "                      6.1: no UTF-8 strings and no text-mode callback; 7.0: no\n"
    "                      MakeSourceFileName; 5.0: a host zip.orp refuses to register with.\n"
    "  --latin1            start in ISO-8859-1 text mode instead of UTF-8 (ignored below 6.2).\n"
    "  -e CODE             run the Lua code CODE instead of a script file.\n"
    "  -h, --help          print this help and exit.\n"
    "\n"
    "The arguments after the script (or after CODE) are in the global table arg and in ...\n"
    "The standard Lua libraries are open; the host's own functions are in the table host,\n"
    "and require_plugin(\"zip\") loads a plug-in. orhost raises its soft limit of open files\n"
    "to the hard limit at start.\n"
    "\n"
    "Exit status: 0 when the script ends normally, 1 after an uncaught error (printed with\n"
    "its position and a traceback), 2 for a usage error.\n"
    "\n"
    "Reference: docs/orhost/index.html in the source tree, " ORHOST_INSTALLED_REFERENCE "\n"
    "when installed.\n";

// What the command line asks for.
struct CommandLine {
    const char *script = nullptr;  // the script file, or NULL with -e
    const char *code = nullptr;    // the -e code, or NULL
    bool latin1 = false;           // --latin1 given
    bool help = false;             // -h or --help given
    int firstScriptArg = 0;        // argv index of the script (or of -e)
};

// Parses "V.R" into version and revision; false when it is not that.
bool ParseVersion(const char *text, int *version, int *revision) {
    char *end;
    long v = strtol(text, &end, 10);
    if (end == text || *end != '.') return false;
    const char *rest = end + 1;
    long r = strtol(rest, &end, 10);
    if (end == rest || *end != '\0' || v < 0 || r < 0 || v > 1000 || r > 1000) return false;
    *version = static_cast<int>(v);
    *revision = static_cast<int>(r);
    return true;
}

// Reads the options before the script; false on a usage error.
bool ParseCommandLine(int argc, char **argv, CommandLine *line) {
    int i = 1;
    for (; i < argc; ++i) {
        const char *a = argv[i];
        if (strcmp(a, "--plugin-dir") == 0 && i + 1 < argc) {
            gSettings.pluginDir = argv[++i];
        } else if (strcmp(a, "--host-version") == 0 && i + 1 < argc) {
            if (!ParseVersion(argv[++i], &gSettings.version, &gSettings.revision)) return false;
        } else if (strcmp(a, "--latin1") == 0) {
            line->latin1 = true;
        } else if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            line->help = true;
            return true;
        } else if (strcmp(a, "-e") == 0 && i + 1 < argc) {
            line->code = argv[i + 1];
            line->firstScriptArg = i + 1;
            return true;
        } else if (a[0] == '-') {
            return false;
        } else {
            line->script = a;
            line->firstScriptArg = i;
            return true;
        }
    }
    return false;
}

// Raises the soft limit of open files to the hard one: an archive keeps
// every file added to it open until its close, and a soft limit of 1,024
// is a common default. Left as it is when the system refuses.
void RaiseOpenFileLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Sets the text mode the host starts in.
void ApplyTextMode(const CommandLine &line) {
    bool hasUtf8 = HostIsAtLeast(6, 2);
    gSettings.utf8 = hasUtf8 && !line.latin1;
}

// The folder beside an installed orhost where plug-ins live
// (PREFIX/bin/orhost -> PREFIX/lib/orvanel/plugins); empty if unknown.
std::string InstalledPluginDir() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.find_last_of('/'));
    return dir + "/../lib/orvanel/plugins";
}

// The default plug-in folder: the environment's, else the one beside an
// installed orhost, else the build's.
void ApplyDefaultPluginDir() {
    if (!gSettings.pluginDir.empty()) return;
    const char *env = getenv("ORHOST_PLUGIN_DIR");
    if (env && env[0]) {
        gSettings.pluginDir = env;
        return;
    }
    std::string installed = InstalledPluginDir();
    struct stat folder;
    bool isInstalled = !installed.empty() && stat(installed.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
    gSettings.pluginDir = isInstalled ? installed : ORHOST_DEFAULT_PLUGIN_DIR;
}

// Builds the global table arg: the script at 0, its arguments from 1, the
// host and its options below 0.
void SetArgTable(lua_State *L, int argc, char **argv, int scriptIndex) {
    lua_createtable(L, argc - scriptIndex, scriptIndex + 1);
    for (int i = 0; i < argc; ++i) {
        lua_pushstring(L, argv[i]);
        lua_rawseti(L, -2, i - scriptIndex);
    }
    lua_setglobal(L, "arg");
}

// True when message starts with a position such as "name.lua:12: ".
bool HasPosition(const char *message) {
    const char *colon = strchr(message, ':');
    if (colon == nullptr || colon == message || memchr(message, '\n', static_cast<size_t>(colon - message))) return false;
    const char *p = colon + 1;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') ++p;
    return *p == ':';
}

// Message handler of the script's protected call: gives a message without a
// position (a plug-in's error) the script's position, and appends a
// traceback.
int MessageHandler(lua_State *L) {
    const char *message = lua_tostring(L, 1);
    if (message == nullptr) {
        if (luaL_callmeta(L, 1, "__tostring") && lua_type(L, -1) == LUA_TSTRING) return 1;
        message = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
    }
    lua_Debug ar;
    for (int level = 1; !HasPosition(message) && lua_getstack(L, level, &ar); ++level) {
        lua_getinfo(L, "Sl", &ar);
        if (ar.currentline > 0) message = lua_pushfstring(L, "%s:%d: %s", ar.short_src, ar.currentline, message);
    }
    luaL_traceback(L, L, message, 1);
    return 1;
}

// Reports host memory that plug-ins still hold after they were shut down.
void ReportLeftoverMemory() {
    if (memory::LiveBlocks() == 0) return;
    fprintf(stderr, "orhost: plug-ins left %zu blocks (%zu bytes) of host memory:", memory::LiveBlocks(),
            memory::LiveBytes());
    for (const auto &[tag, count] : memory::LiveTags()) fprintf(stderr, " %s=%zu", tag.c_str(), count);
    fputc('\n', stderr);
}

// Loads and runs the script or code with the arguments after it; prints an
// uncaught error. Returns the exit status.
int RunScript(lua_State *L, const CommandLine &line, int argc, char **argv) {
    lua_pushcfunction(L, MessageHandler);
    int status = line.code ? luaL_loadbuffer(L, line.code, strlen(line.code), "=(command line)")
                           : luaL_loadfile(L, line.script);
    if (status == LUA_OK) {
        int nargs = argc - line.firstScriptArg - 1;
        for (int i = line.firstScriptArg + 1; i < argc; ++i) lua_pushstring(L, argv[i]);
        status = lua_pcall(L, nargs, 0, 1);
    }
    if (status == LUA_OK) return EXIT_SUCCESS;
    const char *message = lua_tostring(L, -1);
    fprintf(stderr, "%s\n", message ? message : "(error object is not a string)");
    return kExitError;
}

}  // namespace

int main(int argc, char **argv) {
    CommandLine line;
    if (!ParseCommandLine(argc, argv, &line)) {
        fputs(kUsage, stderr);
        fputs("Run 'orhost --help' for what each option does.\n", stderr);
        return kExitUsage;
    }
    if (line.help) {
        fputs(kUsage, stdout);
        fputs("\n", stdout);
        fputs(kHelp, stdout);
        return EXIT_SUCCESS;
    }
    RaiseOpenFileLimit();
    ApplyTextMode(line);
    ApplyDefaultPluginDir();
    BuildHostApi();
    lua_State *L = luaL_newstate();
    if (L == nullptr) {
        fputs("orhost: cannot create the script state\n", stderr);
        return kExitError;
    }
    luaL_openlibs(L);
    OpenHostLibrary(L);
    SetArgTable(L, argc, argv, line.firstScriptArg);
    int status = RunScript(L, line, argc, argv);
    FreeAllLibraries(L);
    lua_close(L);
    sources::ReleaseAll();
    UnloadAllPlugins();
    ReportLeftoverMemory();
    return status;
}
