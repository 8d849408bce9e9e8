// Bounded string copy and append.
#include "core/bounded.h"

#include <cstring>

// Copies what fits of source; 1 when all of it fit, 0 when cut or size is 0.
int CopyBounded(char *destination, size_t size, const char *source) {
    if (size == 0) return 0;
    size_t n = 0;
    while (n < size - 1 && source[n] != '\0') {
        destination[n] = source[n];
        n++;
    }
    destination[n] = '\0';
    return source[n] == '\0' ? 1 : 0;
}

// Appends what fits of source; 1 when all of it fit, 0 when cut or size is
// 0. A destination with no terminator in its first size - 1 bytes is
// terminated at its last byte and takes nothing more.
int AppendBounded(char *destination, size_t size, const char *source) {
    if (size == 0) return 0;
    const void *end = std::memchr(destination, '\0', size - 1);
    if (end == nullptr) {
        destination[size - 1] = '\0';
        return source[0] == '\0' ? 1 : 0;
    }
    size_t length = static_cast<const char *>(end) - destination;
    return CopyBounded(destination + length, size - length, source);
}
