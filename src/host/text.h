// Text services: case folding by the host's text mode and UTF-8 decoding.
#pragma once

#include <cstdint>

namespace text {

// Compares ignoring case: in UTF-8 mode by Unicode simple case folding
// (bytes that form no valid character compare as themselves), in Latin-1
// mode ASCII and Latin-1 letters. When n >= 0 only the first n bytes of
// each string count, and a character they cut compares as its bytes: "ẞ"
// (3 bytes) equals "ß" (2), but no n makes "ẞx" and "ßx" equal prefixes.
// 0 when equal, else <0 or >0 like strcmp.
int CompareNoCase(const char *a, const char *b, long n);

// Lower-cases ASCII letters in place (Latin-1 letters too in Latin-1 mode).
void LowerCase(char *s);

// Decodes the UTF-8 character at text + *index and advances *index past it;
// an invalid or truncated sequence gives U+FFFD and advances by one byte.
uint32_t DecodeUtf8(const char *text, int *index);

}  // namespace text
