// The limit for the appending benchmark: what any writer that keeps the
// old archive whole until a synced copy replaces it must pay per write on
// this file system. Each round copies the whole archive into a temporary
// file beside it with the module's own kernel copy, syncs it, renames it
// over the archive and syncs the folder; no ZIP work at all.
//
//   append_floor ARCHIVE COUNT
//
// Prints the seconds taken.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/file_copy.h"
#include "timed_rounds.h"

namespace {

// Syncs the folder that holds path, so that a rename in it lasts.
bool SyncFolder(const std::string &path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const bool synced = handle >= 0 && fsync(handle) == 0;
    if (handle >= 0) close(handle);
    return synced;
}

// Replaces the archive at path with a synced copy of itself (the round
// number does not matter).
bool ReplaceWithCopy(const char *archive, int) {
    const std::string path = archive;
    const std::string temporary = path + ".floor";
    const int from = open(path.c_str(), O_RDONLY);
    const int to = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct stat status;
    bool done = from >= 0 && to >= 0 && fstat(from, &status) == 0 &&
                CopyFileStart(from, to, static_cast<uint64_t>(status.st_size)) && fsync(to) == 0;
    if (to >= 0) done = close(to) == 0 && done;
    if (from >= 0) close(from);
    return done && rename(temporary.c_str(), path.c_str()) == 0 && SyncFolder(path);
}

}  // namespace

int main(int argc, char **argv) { return RunTimedRounds(argc, argv, ReplaceWithCopy); }
