// Readers of one field of a script options table.
#pragma once

#include <cstddef>

#include <orvanel/plugin.h>

// Reads key of the table at tableArg as a number truncated to 32 bits; an
// absent (nil) field leaves value as it was.
void ReadIntOption(ScriptState *L, int tableArg, const char *key, int *value);

// Raises the host's argument error now if key of the table is present but
// not a string (numbers count as strings). Call it for every string option
// before the first ReadStringOption, so that nothing is held when it raises.
void CheckStringOption(ScriptState *L, int tableArg, const char *key);

// Copies the string field key into host memory (tag "tstring"); absent
// fields and failed allocations leave *value NULL. The caller frees it.
void ReadStringOption(ScriptState *L, int tableArg, const char *key, char **value, size_t *length = nullptr);

// Pushes the field key of the table at tableArg if it is present and returns
// its stack index, else pushes nothing and returns 0.
int FetchOption(ScriptState *L, int tableArg, const char *key);
