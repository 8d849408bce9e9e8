// Bounded string copy and append that report truncation.
#pragma once

#include <cstddef>

// Copies at most size - 1 characters of source and a terminating zero.
// True when the whole source was copied, false when it was cut (or size is
// 0).
bool CopyBounded(char *destination, size_t size, const char *source);

// Appends source to the zero-terminated text in destination, keeping the
// total below size. True when the whole source was appended, false when it
// was cut or size is 0. A destination with no terminator in its first
// size - 1 bytes is terminated at its last byte and takes nothing more.
bool AppendBounded(char *destination, size_t size, const char *source);
