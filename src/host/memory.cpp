#include "memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace memory {
namespace {

// One live block.
struct Block {
    size_t size;      // bytes asked for
    std::string tag;  // the tag given at allocation
};

// The countdown of an injected allocation failure.
struct FailPlan {
    long countdown = 0;  // calls left until the failing one; 0: none planned
    std::string tag;     // count only this tag; empty: every call
};

std::unordered_map<void *, Block> blocks;
size_t liveBytes = 0;
FailPlan failPlan;
long allocCalls = 0;  // every Alloc call so far, for host.faultcounts

// Counts this call against the plan; true when it is the one to fail.
bool FailureDue(const char *tag) {
    if (failPlan.countdown == 0) return false;
    if (!failPlan.tag.empty() && (tag == nullptr || failPlan.tag != tag)) return false;
    if (--failPlan.countdown != 0) return false;
    failPlan.tag.clear();
    return true;
}

}  // namespace

void *Alloc(size_t size, bool clear, const char *tag) {
    ++allocCalls;
    if (FailureDue(tag)) return nullptr;
    // A zero-size request still gets a unique block of its own.
    size_t real = size == 0 ? 1 : size;
    void *block = clear ? calloc(1, real) : malloc(real);
    if (block == nullptr) return nullptr;
    blocks.emplace(block, Block{size, tag ? tag : ""});
    liveBytes += size;
    return block;
}

void Free(void *block) {
    if (block == nullptr) return;
    auto found = blocks.find(block);
    if (found == blocks.end()) {
        fprintf(stderr, "orhost: FreeMemory(%p): block was not handed out by the host, or is freed already\n", block);
        abort();
    }
    liveBytes -= found->second.size;
    blocks.erase(found);
    free(block);
}

size_t LiveBlocks() { return blocks.size(); }

size_t LiveBytes() { return liveBytes; }

std::map<std::string, size_t> LiveTags() {
    std::map<std::string, size_t> tags;
    for (const auto &entry : blocks) ++tags[entry.second.tag];
    return tags;
}

void FailAfter(long n, const std::string &tag) {
    failPlan.countdown = n > 0 ? n : 0;
    failPlan.tag = n > 0 ? tag : std::string();
}

long AllocCount() { return allocCalls; }

}  // namespace memory
