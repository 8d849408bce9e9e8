// The host's service tables and the small helpers built on them.
#include "host.h"

#include <cmath>

namespace host {

const HostApi *api = nullptr;

// Sends the host a one-tag control list {tag = value}.
void SetHostControl(int tag, uintptr_t value) {
    const TagItem tags[2] = {{static_cast<uint32_t>(tag), value}, {TAG_DONE, 0}};
    api->system->SetHostControl(tags);
}

// Truncates toward zero; saturates at the 32-bit limits, NaN gives 0.
int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0) return INT32_MAX;
    if (value <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Reads argument index as a number truncated to 32 bits. raises
int32_t GetIntArg(ScriptState *L, int index) { return TruncateToInt32(GetNumberArg(L, index)); }

// Pushes an integer as the host's number type.
void PushInteger(ScriptState *L, int64_t n) { PushNumber(L, static_cast<double>(n)); }

}  // namespace host
