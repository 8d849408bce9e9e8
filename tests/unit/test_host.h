// A minimal in-process host for unit tests: text comparison, memory with a
// count of live blocks, UTF-8 decoding and a script state that serves
// numeric arguments and records pushed numbers. It is installed as
// host::api before any test runs.
#pragma once

#include <vector>

#include <orvanel/plugin.h>

namespace testhost {

// A script state of the test host: arguments in, pushed numbers out.
struct Script {
    std::vector<double> args;    // argument i is args[i - 1]
    std::vector<double> pushed;  // every number pushed, in order
    ScriptState *state() { return reinterpret_cast<ScriptState *>(this); }
};

// Host memory blocks handed out and not yet freed.
int LiveBlocks();

}  // namespace testhost
