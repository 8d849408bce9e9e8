// A minimal in-process host for unit tests: text comparison, memory with a
// count of live blocks and host files. It is installed as host::api before
// any test runs.
#pragma once

#include <string>

#include <orvanel/plugin.h>

namespace testhost {

// A host file of the test host: a length and a position; reads give
// zeros, or the contents of a real file that OpenHostFile read in.
struct File {
    std::string contents;        // a real file's bytes (OpenHostFile), else empty
    int64_t size = 0;            // length of the file
    int64_t position = 0;        // current position
    int32_t lastReadCount = 0;   // the count the last read asked for
    bool closed = false;         // CloseHostFile was called
    bool opened = false;         // made by OpenHostFile, deleted by CloseHostFile
    HostFile *handle() { return reinterpret_cast<HostFile *>(this); }
};

// Host memory blocks handed out and not yet freed.
int LiveBlocks();

}  // namespace testhost
