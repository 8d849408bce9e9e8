// How the adapter reads entry names: as paths whose parts are separated by
// '/' or by '\\' (some Windows tools store the latter), and found by a host
// path exactly, else ignoring case.
#pragma once

#include <cstddef>

#include <zip.h>

// Whether c separates the parts of an entry name.
bool IsNameSeparator(char c);

// Compares at most n bytes of two names like strncmp, reading '\\' as '/'.
int CompareNames(const char *a, const char *b, size_t n);

// Whether the stored name equals name ('\\' read as '/'), by bytes or, with
// ignoreCase, by the host's comparison ignoring case.
bool SameName(const char *stored, const char *name, bool ignoreCase);

// Whether the stored name begins with the n bytes of prefix ('\\' read as
// '/'), by bytes or, with ignoreCase, ignoring case.
bool BeginsWithName(const char *stored, const char *prefix, size_t n, bool ignoreCase);

// The entry that name (an inner path) finds: the lowest entry named exactly
// so wins, else the lowest one that matches ignoring case; -1 when none. An
// exact match first, so that a differently cased twin stays reachable.
zip_int64_t FindEntry(zip_t *archive, const char *name);

// Whether name may be given to an entry: a path of one or more parts, none
// of them empty, "." or "..", so that no extractor is led out of its folder
// or into a name it must drop.
bool IsSoundNewName(const char *name);
