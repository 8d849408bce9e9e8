// Text services: case folding by the host's text mode and UTF-8 decoding.
#pragma once

#include <cstdint>

namespace text {

// Compares ignoring ASCII case (and Latin-1 letters in Latin-1 mode), at
// most n bytes when n >= 0; 0 when equal, else <0 or >0 like strcmp.
int CompareNoCase(const char *a, const char *b, long n);

// Lower-cases ASCII letters in place (Latin-1 letters too in Latin-1 mode).
void LowerCase(char *s);

// Decodes the UTF-8 character at text + *index and advances *index past it;
// an invalid or truncated sequence gives U+FFFD and advances by one byte.
uint32_t DecodeUtf8(const char *text, int *index);

}  // namespace text
