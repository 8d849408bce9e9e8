// Readers of one field of a script options table.
#include "options.h"

#include <cstring>

#include "host.h"

namespace {

// Pushes field key of the table at tableArg (nil when absent).
void PushField(ScriptState *L, int tableArg, const char *key) {
    host::PushString(L, key);
    host::GetTable(L, tableArg);
}

// Pops the field pushed by PushField.
void PopField(ScriptState *L) { host::SetStackTop(L, -2); }

}  // namespace

// Reads a number field truncated to 32 bits; nil keeps the caller's default.
void ReadIntOption(ScriptState *L, int tableArg, const char *key, int *value) {
    PushField(L, tableArg, key);
    if (host::IsValuePresent(L, -1)) *value = host::TruncateToInt32(host::ToNumber(L, -1));
    PopField(L);
}

// Raises the host's argument error if the field is present but no string.
void CheckStringOption(ScriptState *L, int tableArg, const char *key) {
    PushField(L, tableArg, key);
    if (host::IsValuePresent(L, -1)) host::GetStringArg(L, -1);
    PopField(L);
}

// Copies a string field into host memory ("tstring"); nil, or no memory,
// leaves *value untouched or NULL.
void ReadStringOption(ScriptState *L, int tableArg, const char *key, char **value, size_t *length) {
    PushField(L, tableArg, key);
    if (host::IsValuePresent(L, -1)) {
        size_t textLength = 0;
        const char *text = host::GetStringArg(L, -1, &textLength);
        char *copy = static_cast<char *>(host::AllocMemory(textLength + 1, false, "tstring"));
        *value = copy;
        if (copy != nullptr) {
            std::memcpy(copy, text, textLength + 1);
            if (length != nullptr) *length = textLength;
        }
    }
    PopField(L);
}

// Leaves a present field pushed and returns its stack index; 0 when absent.
int FetchOption(ScriptState *L, int tableArg, const char *key) {
    PushField(L, tableArg, key);
    if (host::IsValuePresent(L, -1)) return host::GetArgCount(L);
    PopField(L);
    return 0;
}
