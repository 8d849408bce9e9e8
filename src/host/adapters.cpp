#include "adapters.h"

#include <dlfcn.h>

#include <algorithm>

namespace adapters {
namespace {

// Installed adapters; requests are offered to them in this order.
std::vector<std::unique_ptr<FileAdapter>> installed;

// Looks up one entry point; false when the plug-in lacks it.
template <typename Fn>
bool Lookup(void *library, const char *name, Fn *fn) {
    *fn = reinterpret_cast<Fn>(dlsym(library, name));
    return *fn != nullptr;
}

// Fills every entry point of adapter; false when one is missing.
bool LookupAll(void *library, FileAdapter *a) {
    return Lookup(library, "FOpen", &a->fopen) && Lookup(library, "FRead", &a->fread) &&
           Lookup(library, "FWrite", &a->fwrite) && Lookup(library, "FSeek", &a->fseek) &&
           Lookup(library, "FGetC", &a->fgetc) && Lookup(library, "FPutC", &a->fputc) &&
           Lookup(library, "FEof", &a->feof) && Lookup(library, "FStat", &a->fstat) &&
           Lookup(library, "FFlush", &a->fflush) && Lookup(library, "FClose", &a->fclose) &&
           Lookup(library, "OpenDir", &a->opendir) && Lookup(library, "NextDirEntry", &a->nextDirEntry) &&
           Lookup(library, "RewindDir", &a->rewindDir) && Lookup(library, "CloseDir", &a->closeDir) &&
           Lookup(library, "StatDir", &a->statDir) && Lookup(library, "ChangeDir", &a->changeDir) &&
           Lookup(library, "GetCurDir", &a->getCurDir) && Lookup(library, "Stat", &a->stat) &&
           Lookup(library, "MakeDir", &a->makeDir) && Lookup(library, "DeleteFSObj", &a->deleteFSObj) &&
           Lookup(library, "RenameFSObj", &a->renameFSObj) && Lookup(library, "MoveFSObj", &a->moveFSObj) &&
           Lookup(library, "SetFSObjAttributes", &a->setFSObjAttributes);
}

}  // namespace

int Install(const Plugin *plugin, void *library) {
    for (const auto &a : installed)
        if (a->owner == plugin) return 0;
    auto adapter = std::make_unique<FileAdapter>();
    adapter->owner = plugin;
    if (!LookupAll(library, adapter.get())) return HOSTERR_BADVALUE;
    installed.push_back(std::move(adapter));
    return 0;
}

void Forget(const Plugin *owner) {
    std::erase_if(installed, [owner](const auto &a) { return a->owner == owner; });
}

const std::vector<std::unique_ptr<FileAdapter>> &Installed() { return installed; }

}  // namespace adapters
