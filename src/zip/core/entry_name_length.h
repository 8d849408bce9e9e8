// The longest name an archive entry can carry.
#pragma once

#include <cstddef>

// A ZIP header stores a name's length in 16 bits; libzip keeps only the low
// 16 bits of a longer one, so it would store a cut name.
constexpr size_t kMaxEntryNameLength = 65535;

// Whether name, as stored (after any conversion), fits an entry's header. A
// directory's name gets a '/' appended when it lacks one; an empty directory
// name never fits.
bool FitsEntryName(const char *name, bool directory);
