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

// SameName by bytes, and ignoring case.
bool SameExactly(const char *stored, const char *name);
bool SameIgnoringCase(const char *stored, const char *name);

// Whether the stored name begins with the n bytes of prefix ('\\' read as
// '/'), by bytes or, with ignoreCase, ignoring case.
bool BeginsWithName(const char *stored, const char *prefix, size_t n, bool ignoreCase);

// The entry that name (an inner path) finds: the lowest entry named exactly
// so wins, else the lowest one that matches ignoring case; -1 when none. An
// exact match first, so that a differently cased twin stays reachable.
// *exact, when given, tells which of the two was found.
zip_int64_t FindEntry(zip_t *archive, const char *name, bool *exact = nullptr);

// Turns every '\\' of name into '/', the separator the adapter writes.
void WriteSeparators(char *name);

// Whether name may be given to an entry: a path of one or more parts, none
// of them empty, "." or "..", so that no extractor is led out of its folder
// or into a name it must drop.
bool IsSoundNewName(const char *name);

// Whether the adapter shows and serves an entry or path of this name: one
// that IsSoundNewName accepts, a folder's trailing separator aside. Other
// entries stay reachable through the zip commands by index.
bool IsServedName(const char *name);

// Entries that move along with a new name and so cannot clash with it: one
// entry (index, or -1), or every entry inside a folder (its path ending in
// '/', or NULL).
struct MovingEntries {
    zip_int64_t index;
    const char *folder;
};

// Whether an entry named name (a folder's without its '/') would leave a
// file and a folder sharing a name, which no extractor can create: a file
// where one of name's parent folders would be, or of a file's name a folder,
// of a folder's name a file. Names compare ignoring case, as lookups find
// them; the moving entries are left out.
bool ClashesWithEntries(zip_t *archive, const char *name, bool directory, const MovingEntries &moving);
