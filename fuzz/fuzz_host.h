// A small in-process host for the fuzz targets: the services that the
// module's library and adapter code call outside a script, with files kept
// in memory and every AllocMemory block tracked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzhost {

// Hands the module this host (InitPlugin) on the first call; later calls do
// nothing.
void Start();

// OpenHostFile of name serves these bytes until the next ServeFile; the bytes
// are not copied.
void ServeFile(const char *name, const uint8_t *data, size_t size);

// AllocMemory blocks handed out and not yet freed.
size_t LiveBlocks();

// Aborts, naming the input's stage, unless every AllocMemory block and every
// host file has been given back.
void CheckNothingLeft(const char *stage);

}  // namespace fuzzhost
