#include "refusals.h"

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "adapters.h"
#include "fsobjects.h"

namespace refusals {
namespace {

// Where the first part of path that names a regular file ends (at a '/'
// with more after it), or 0 when no such part exists.
size_t ArchiveEnd(const char *path) {
    struct stat st;
    for (const char *slash = strchr(path + 1, '/'); slash && slash[1]; slash = strchr(slash + 1, '/')) {
        std::string prefix(path, static_cast<size_t>(slash - path));
        if (stat(prefix.c_str(), &st) != 0) return 0;
        if (S_ISREG(st.st_mode)) return prefix.size();
        if (!S_ISDIR(st.st_mode)) return 0;
    }
    return 0;
}

// True when an adapter serves archive as a folder.
bool ServedAsArchive(const char *archive) {
    fsobjects::Dir *dir = fsobjects::OpenDir(archive);
    if (dir == nullptr) return false;
    bool served = fsobjects::ServedBy(dir) != nullptr;
    fsobjects::CloseDir(dir);
    return served;
}

// Why the archive refused request on path, as far as the host can tell.
const char *Reason(const char *archive, const char *path, Request request, bool passwordGiven) {
    const char *declined = "the archive declined";
    if (request != Request::kRead && request != Request::kScan && fsobjects::ScanOpenWithin(archive))
        return "a scan is open on the archive";
    FSObjInfo record;
    bool nameOwned;
    if (!fsobjects::Stat(path, 0, &record, &nameOwned)) return request == Request::kWrite ? declined : "no such entry";
    if (record.type == FSOBJ_DIRECTORY) return request == Request::kScan ? declined : "it is a folder";
    if (request == Request::kScan) return "it is not a folder";
    if (request == Request::kWrite) return declined;
    return passwordGiven ? "wrong password" : "it may need a password";
}

// The verb of the message for request.
const char *Verb(Request request) {
    switch (request) {
        case Request::kScan: return "list";
        case Request::kWrite: return "write";
        default: return "open";
    }
}

}  // namespace

void PushMessage(lua_State *L, const char *path, Request request, bool passwordGiven, int error) {
    size_t end = adapters::Installed().empty() ? 0 : ArchiveEnd(path);
    if (end > 0) {
        lua_pushlstring(L, path, end);
        const char *archive = lua_tostring(L, -1);
        if (ServedAsArchive(archive)) {
            const char *reason = Reason(archive, path, request, passwordGiven);
            lua_pushfstring(L, "%s: the archive %s refused to %s %s: %s", path, archive, Verb(request), path + end + 1, reason);
            lua_remove(L, -2);
            return;
        }
        lua_pop(L, 1);
    }
    lua_pushfstring(L, "%s: %s", path, strerror(error));
}

}  // namespace refusals
