#include "paths.h"

#include <cstring>

namespace paths {

bool AppendPart(char *buffer, const char *part, int size) {
    if (size <= 0) return false;
    size_t limit = static_cast<size_t>(size);
    size_t used = strnlen(buffer, limit);
    if (used == limit) return false;
    size_t partLength = strlen(part);
    if (part[0] == '/' || used == 0) {
        if (partLength + 1 > limit) return false;
        memcpy(buffer, part, partLength + 1);
        return true;
    }
    if (partLength == 0) return true;
    bool needSeparator = buffer[used - 1] != '/';
    size_t total = used + (needSeparator ? 1 : 0) + partLength;
    if (total + 1 > limit) return false;
    if (needSeparator) buffer[used++] = '/';
    memcpy(buffer + used, part, partLength + 1);
    return true;
}

char *DirectoryEnd(const char *path) {
    const char *slash = strrchr(path, '/');
    return const_cast<char *>(slash ? slash : path);
}

const char *FileNamePart(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace paths
