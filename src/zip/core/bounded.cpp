// Bounded string copy and append.
#include "core/bounded.h"

#include <cstring>

bool CopyBounded(char *destination, size_t size, const char *source) {
    if (size == 0) return false;
    size_t n = 0;
    while (n < size - 1 && source[n] != '\0') {
        destination[n] = source[n];
        n++;
    }
    destination[n] = '\0';
    return source[n] == '\0';
}

bool AppendBounded(char *destination, size_t size, const char *source) {
    if (size == 0) return false;
    const void *end = std::memchr(destination, '\0', size - 1);
    if (end == nullptr) {
        destination[size - 1] = '\0';
        return source[0] == '\0';
    }
    size_t length = static_cast<const char *>(end) - destination;
    return CopyBounded(destination + length, size - length, source);
}
