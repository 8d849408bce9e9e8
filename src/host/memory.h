// The memory plug-ins take from the host: every live block is accounted for
// with its tag, and allocations can be made to fail on purpose.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace memory {

// A block of size bytes (zeroed when clear) under tag; NULL when out of
// memory or when an injected failure is due.
void *Alloc(size_t size, bool clear, const char *tag);

// Releases a block from Alloc; NULL is ignored. A block the host did not
// hand out (or one freed already) aborts the program with a message.
void Free(void *block);

// Live blocks and their total size.
size_t LiveBlocks();
size_t LiveBytes();

// Live block count per tag (tags without live blocks are left out).
std::map<std::string, size_t> LiveTags();

// Makes the n-th Alloc from now fail once, counting only calls with tag when
// tag is not empty; n = 0 cancels.
void FailAfter(long n, const std::string &tag);

// Alloc calls made so far, failed ones included (host.faultcounts).
long AllocCount();

}  // namespace memory
