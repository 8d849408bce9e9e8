#include "faults.h"

#include <cstring>

namespace faults {
namespace {

const char *const kIoKindNames[kIoKinds] = {"open", "read", "write", "seek", "examine"};

// Operations left per kind until the failing one; 0: none planned.
long countdowns[kIoKinds];

// Operations counted per kind since the start, so that a test can find how
// many injection points a scenario has.
long calls[kIoKinds];

}  // namespace

bool ParseIoKind(const char *text, IoKind *kind) {
    for (int i = 0; i < kIoKinds; ++i) {
        if (strcmp(text, kIoKindNames[i]) == 0) {
            *kind = static_cast<IoKind>(i);
            return true;
        }
    }
    return false;
}

void FailIoAfter(IoKind kind, long n) { countdowns[static_cast<int>(kind)] = n > 0 ? n : 0; }

bool IoFailureDue(IoKind kind) {
    ++calls[static_cast<int>(kind)];
    long &countdown = countdowns[static_cast<int>(kind)];
    if (countdown == 0) return false;
    return --countdown == 0;
}

long IoCallCount(IoKind kind) { return calls[static_cast<int>(kind)]; }

}  // namespace faults
