// Host strings to code page 437.
#pragma once

#include <cstdint>

// Latin-1 code to code page 437 byte; 0 where code page 437 lacks it.
extern const uint8_t Latin1ToCodePage437[256];

// A new CP437 copy of text in host memory (tag "dst"), "?" for characters
// code page 437 lacks; NULL without memory. Decodes UTF-8 in UTF-8 mode.
char *ConvertToCodePage437(const char *text);
