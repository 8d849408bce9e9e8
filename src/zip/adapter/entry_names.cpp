// Entry names read as paths, '\\' and '/' alike.
#include "adapter/entry_names.h"

#include <cstring>

#include "adapter/paths.h"
#include "host.h"

namespace {

// A stored name longer than this cannot equal an inner path.
constexpr size_t kNameCopySize = kPathBufferSize + 2;

char AsSeparator(char c) { return c == '\\' ? '/' : c; }

// Copies at most n bytes of name into out with '\\' as '/'; false when
// they do not fit (the name then matches no inner path).
bool CopyReadingSeparators(const char *name, size_t n, char *out) {
    size_t length = strnlen(name, n);
    if (length >= kNameCopySize) return false;
    for (size_t i = 0; i < length; i++) out[i] = AsSeparator(name[i]);
    out[length] = '\0';
    return true;
}

}  // namespace

bool IsNameSeparator(char c) { return c == '/' || c == '\\'; }

int CompareNames(const char *a, const char *b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        auto x = static_cast<unsigned char>(AsSeparator(a[i]));
        auto y = static_cast<unsigned char>(AsSeparator(b[i]));
        if (x != y || x == 0) return x - y;
    }
    return 0;
}

bool SameName(const char *stored, const char *name, bool ignoreCase) {
    if (!ignoreCase) return CompareNames(stored, name, SIZE_MAX) == 0;
    if (!std::strchr(stored, '\\')) return host::CompareNoCase(stored, name) == 0;
    char copy[kNameCopySize];
    return CopyReadingSeparators(stored, SIZE_MAX, copy) && host::CompareNoCase(copy, name) == 0;
}

bool SameExactly(const char *stored, const char *name) { return SameName(stored, name, false); }

bool SameIgnoringCase(const char *stored, const char *name) { return SameName(stored, name, true); }

bool BeginsWithName(const char *stored, const char *prefix, size_t n, bool ignoreCase) {
    if (!ignoreCase) return CompareNames(stored, prefix, n) == 0;
    // Callers copy the n bytes matched: stored must have them, whatever the
    // host's comparison counts.
    char copy[kNameCopySize];
    return strnlen(stored, n) == n && CopyReadingSeparators(stored, n, copy) &&
           host::CompareNoCaseN(copy, prefix, static_cast<int>(n)) == 0;
}

zip_int64_t FindEntry(zip_t *archive, const char *name, bool *exact) {
    zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_int64_t ignoringCase = -1;
    if (exact) *exact = false;
    for (zip_int64_t i = 0; i < count; i++) {
        const char *stored = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (!stored) continue;
        if (SameName(stored, name, false)) {
            if (exact) *exact = true;
            return i;
        }
        if (ignoringCase < 0 && SameName(stored, name, true)) ignoringCase = i;
    }
    return ignoringCase;
}

void WriteSeparators(char *name) {
    for (char *c = name; *c; c++) {
        if (*c == '\\') *c = '/';
    }
}

namespace {

// Whether the entry stored moves along (see MovingEntries).
bool Moves(const char *stored, zip_int64_t index, const MovingEntries &moving) {
    return index == moving.index || (moving.folder && BeginsWithName(stored, moving.folder, std::strlen(moving.folder), false));
}

// Whether stored, a file's name, is one of the parent folders of name.
bool FileAboveName(const char *stored, size_t storedLength, const char *name, size_t length) {
    return storedLength < length && name[storedLength] == '/' && BeginsWithName(stored, name, storedLength, true);
}

// Whether stored lies inside the folder name (given without its '/').
bool InsideFolder(const char *stored, size_t storedLength, const char *name, size_t length) {
    return storedLength > length && IsNameSeparator(stored[length]) && BeginsWithName(stored, name, length, true);
}

}  // namespace

bool ClashesWithEntries(zip_t *archive, const char *name, bool directory, const MovingEntries &moving) {
    size_t length = std::strlen(name);
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char *stored = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (!stored || Moves(stored, i, moving)) continue;
        size_t storedLength = std::strlen(stored);
        bool file = storedLength > 0 && !IsNameSeparator(stored[storedLength - 1]);
        if (file && FileAboveName(stored, storedLength, name, length)) return true;
        bool otherKind = directory ? file && SameName(stored, name, true) : InsideFolder(stored, storedLength, name, length);
        if (otherKind) return true;
    }
    return false;
}

namespace {

// IsSoundNewName, optionally allowing one separator at the end.
bool IsSoundName(const char *name, bool trailingSeparator) {
    const char *part = name;
    for (;;) {
        size_t length = std::strcspn(part, "/\\");
        bool dots = (length == 1 && part[0] == '.') || (length == 2 && part[0] == '.' && part[1] == '.');
        if (length == 0 || dots) return false;
        if (part[length] == '\0' || (trailingSeparator && part[length + 1] == '\0')) return true;
        part += length + 1;
    }
}

}  // namespace

bool IsSoundNewName(const char *name) { return IsSoundName(name, false); }

bool IsServedName(const char *name) { return IsSoundName(name, true); }
