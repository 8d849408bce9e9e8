#include "core/entry_name_length.h"

#include <cstring>

bool FitsEntryName(const char *name, bool directory) {
    size_t length = std::strlen(name);
    if (directory && length == 0) return false;
    bool slashAdded = directory && name[length - 1] != '/';
    return length + (slashAdded ? 1 : 0) <= kMaxEntryNameLength;
}
