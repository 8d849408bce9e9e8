// Table 3: system services.
#include "host_api.h"

#include <ctime>

#include "adapters.h"
#include "callbacks.h"
#include "errors.h"
#include "info.h"
#include "memory.h"
#include "objects.h"
#include "plugin_calls.h"
#include "plugins.h"

namespace {

void SetHostControl(const TagItem *tags) { callbacks::ApplyHostControl(tags); }
int RegisterError(const char *text) { return errors::Register(text); }
void SetErrorArgument(const char *text) { errors::SetArgument(text); }
void *AllocMemory(size_t size, int clear, const char *tag) { return memory::Alloc(size, clear != 0, tag); }
void FreeMemory(void *block) { memory::Free(block); }

int RegisterHostCallback(int kind, HostCallback fn, void *) { return callbacks::Register(ActivePlugin(), kind, fn); }

int RegisterObjectType(ScriptState *, const char *name, ObjectHeader **listHead, AttributeHandler handler) {
    return objects::RegisterType(ActivePlugin(), name, listHead, handler);
}

// Automatic ids are the objects' own addresses here, so the host holds
// nothing for an object that it would have to let go.
void ReleaseObject(ScriptState *, void *) {}

void GetCurrentDate(DateRecord *date) { *date = info::ToDateRecord(time(nullptr)); }

// Installs the file adapter of the plug-in that owns info; the directory
// half comes with it. 0, or HOSTERR_BADVALUE for anything else.
int ActivateCapability(PluginInfo *info, uint32_t bit) {
    Plugin *plugin = FindPluginByInfo(info);
    if (plugin == nullptr) return HOSTERR_BADVALUE;
    if (bit == CAP_FILEADAPTER) return adapters::Install(plugin, plugin->library);
    if (bit == CAP_DIRADAPTER) return 0;
    return HOSTERR_BADVALUE;
}

void SetCapabilityOption(PluginInfo *info, uint32_t bit, int value, int) {
    Plugin *plugin = FindPluginByInfo(info);
    if (plugin == nullptr) return;
    if (value)
        plugin->capabilityOptions |= bit;
    else
        plugin->capabilityOptions &= ~bit;
}

HostSystemApi MakeTable() {
    HostSystemApi t = {};
    t.SetHostControl = SetHostControl;
    t.RegisterError = RegisterError;
    t.SetErrorArgument = SetErrorArgument;
    t.AllocMemory = AllocMemory;
    t.FreeMemory = FreeMemory;
    t.RegisterHostCallback = RegisterHostCallback;
    t.RegisterObjectType = RegisterObjectType;
    t.ReleaseObject = ReleaseObject;
    t.GetCurrentDate = GetCurrentDate;
    t.ActivateCapability = ActivateCapability;
    t.SetCapabilityOption = SetCapabilityOption;
    return t;
}

const HostSystemApi table = MakeTable();

}  // namespace

const HostSystemApi *SystemApi() { return &table; }
