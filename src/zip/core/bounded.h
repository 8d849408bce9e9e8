// Bounded string copy and append that report truncation.
#pragma once

#include <cstddef>

// Copies at most size - 1 characters of source and a terminating zero.
// Returns 1 when the whole source was copied, 0 when it was cut (or size is 0).
int CopyBounded(char *destination, size_t size, const char *source);

// Appends source to the zero-terminated text in destination, keeping the
// total below size. Returns 1 when the whole source was appended, else 0.
int AppendBounded(char *destination, size_t size, const char *source);
