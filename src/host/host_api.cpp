#include "host_api.h"

#include "settings.h"

namespace {

HostApi api;

}  // namespace

void BuildHostApi() {
    api.version = static_cast<uint32_t>(gSettings.version);
    api.revision = static_cast<uint32_t>(gSettings.revision);
    api.text = TextApi();
    api.system = SystemApi();
    api.file = FileApi();
    api.script = ScriptApi();
    api.utf8 = Utf8Api();
}

const HostApi *GetHostApi() { return &api; }
