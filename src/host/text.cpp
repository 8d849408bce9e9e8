#include "text.h"

#include <cstddef>
#include <unicode/uchar.h>

#include "settings.h"

namespace text {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// The lower-case form of byte c in the current text mode.
unsigned char Lower(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    // Latin-1 capitals À..Þ, except the multiplication sign.
    if (!gSettings.utf8 && c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}

// True for a UTF-8 continuation byte.
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Where bytes that are no whole character are numbered when compared: above
// every code point, so that each equals only itself.
constexpr uint32_t kByteBase = 0x110000;

// The bytes of the UTF-8 sequence that lead begins, 1 for a byte that
// begins none.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// The next character of s from *at within its first limit bytes, folded by
// Unicode simple case folding, and advances *at past it: 0 at the end or
// the limit; kByteBase + the byte for a byte that begins no valid character
// or one the limit cuts.
uint32_t NextFolded(const char *s, size_t *at, size_t limit) {
    if (*at >= limit || s[*at] == '\0') return 0;
    auto lead = static_cast<unsigned char>(s[*at]);
    if (lead < 0x80) {
        *at += 1;
        return Lower(lead);
    }
    int length = 0;
    uint32_t code = limit - *at >= SequenceLength(lead) ? DecodeUtf8(s + *at, &length) : kReplacement;
    if (length <= 1) {
        *at += 1;
        return kByteBase + lead;
    }
    *at += static_cast<size_t>(length);
    return static_cast<uint32_t>(u_foldCase(static_cast<UChar32>(code), U_FOLD_CASE_DEFAULT));
}

// CompareNoCase in UTF-8 mode: character by character, folded.
int CompareFolded(const char *a, const char *b, size_t limit) {
    size_t i = 0, j = 0;
    for (;;) {
        uint32_t x = NextFolded(a, &i, limit), y = NextFolded(b, &j, limit);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

}  // namespace

int CompareNoCase(const char *a, const char *b, long n) {
    if (gSettings.utf8) return CompareFolded(a, b, n < 0 ? SIZE_MAX : static_cast<size_t>(n));
    for (long i = 0; n < 0 || i < n; ++i) {
        unsigned char ca = Lower(static_cast<unsigned char>(a[i]));
        unsigned char cb = Lower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

void LowerCase(char *s) {
    for (; *s; ++s) *s = static_cast<char>(Lower(static_cast<unsigned char>(*s)));
}

uint32_t DecodeUtf8(const char *text, int *index) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text) + *index;
    const unsigned char lead = p[0];
    if (lead < 0x80) {
        *index += 1;
        return lead;
    }
    // The smallest code point a sequence of each length may carry.
    static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    const int length = static_cast<int>(SequenceLength(lead));
    uint32_t code = lead & (0x7F >> length);
    // Stops at the terminating zero, which is no continuation byte.
    for (int i = 1; i < length; ++i) {
        if (!IsContinuation(p[i])) {
            *index += 1;
            return kReplacement;
        }
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (length == 1 || code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        *index += 1;
        return kReplacement;
    }
    *index += length;
    return code;
}

}  // namespace text
