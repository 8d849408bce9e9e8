// The host's service tables and the small helpers built on them.
#include "host.h"

#include <cmath>

namespace host {

const HostApi *api = nullptr;

void SetHostControl(int tag, uintptr_t value) {
    const TagItem tags[2] = {{static_cast<uint32_t>(tag), value}, {TAG_DONE, 0}};
    api->system->SetHostControl(tags);
}

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0) return INT32_MAX;
    if (value <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t GetIntArg(ScriptState *L, int index) { return TruncateToInt32(GetNumberArg(L, index)); }

void PushInteger(ScriptState *L, int64_t n) { PushNumber(L, static_cast<double>(n)); }

bool IsAtLeast(uint32_t version, uint32_t revision) {
    if (api == nullptr) return false;
    return api->version > version || (api->version == version && api->revision >= revision);
}

int32_t ReadAtMost(HostFile *file, void *buffer, uint64_t count) {
    return ReadHostFile(file, buffer, count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count));
}

}  // namespace host
