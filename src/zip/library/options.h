// Readers of a script's options table. A field is fetched with GetTable,
// which may run an __index metamethod, and a metamethod may raise: every
// field a command reads is fetched (and its type checked) before anything
// is copied or held, and read from the stack afterwards.
#pragma once

#include <cstddef>

#include <orvanel/plugin.h>

#include "host.h"

// Reads key of the table at tableArg as a number truncated to 32 bits; an
// absent (nil) field leaves value as it was. The stack is as before. raises
void ReadIntOption(ScriptState *L, int tableArg, const char *key, int *value);

// Pushes the field key of the table at tableArg (nil when absent) and
// returns its stack index. raises
int FetchOption(ScriptState *L, int tableArg, const char *key);

// FetchOption, then raises the host's argument error if the field is present
// but no string (a number counts, and becomes a string). raises
int FetchStringOption(ScriptState *L, int tableArg, const char *key);

// Whether the fetched value at index is present (not nil).
bool OptionPresent(ScriptState *L, int index);

// The fetched number at index truncated to 32 bits into *value; nil leaves
// *value as it was.
void ReadIntValue(ScriptState *L, int index, int *value);

// Copies the fetched string at index (checked by FetchStringOption) into
// host memory (tag "tstring"), *length its length. Nil leaves *copy empty.
// False when it is present but no memory could be had: going on without it
// would silently drop what the script asked for.
bool CopyStringValue(ScriptState *L, int index, host::Memory<char> *copy, size_t *length);

// Pops a number of fetched values on every way out of a scope.
class StackSlots {
public:
    StackSlots(ScriptState *L, int count) : L_(L), count_(count) {}
    ~StackSlots() {
        if (count_ > 0) host::SetStackTop(L_, -count_ - 1);
    }
    StackSlots(const StackSlots &) = delete;
    StackSlots &operator=(const StackSlots &) = delete;

private:
    ScriptState *L_;  // the command's script state
    int count_;       // values to pop
};
