// Injected failures of the host's own file operations (host.failio).
#pragma once

namespace faults {

// The kinds of host file operation that can be made to fail.
enum class IoKind { Open, Read, Write, Seek, Examine };
constexpr int kIoKinds = 5;

// Finds the kind named by text ("open", "read", "write", "seek",
// "examine"); false for any other text.
bool ParseIoKind(const char *text, IoKind *kind);

// Makes the n-th operation of kind from now fail once; n = 0 cancels.
void FailIoAfter(IoKind kind, long n);

// Counts one operation of kind; true when it is the one that must fail.
bool IoFailureDue(IoKind kind);

// Operations of kind counted so far (host.faultcounts).
long IoCallCount(IoKind kind);

}  // namespace faults
