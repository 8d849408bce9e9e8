#include "library/options.h"

#include <cstring>

namespace {

// Pops the value on top.
void Pop(ScriptState *L) { host::SetStackTop(L, -2); }

}  // namespace

int FetchOption(ScriptState *L, int tableArg, const char *key) {
    host::PushString(L, key);
    host::GetTable(L, tableArg);
    return host::GetArgCount(L);
}

int FetchStringOption(ScriptState *L, int tableArg, const char *key) {
    const int index = FetchOption(L, tableArg, key);
    if (host::IsValuePresent(L, -1)) host::GetStringArg(L, -1);
    return index;
}

bool OptionPresent(ScriptState *L, int index) { return host::IsValuePresent(L, index); }

void ReadIntValue(ScriptState *L, int index, int *value) {
    if (host::IsValuePresent(L, index)) *value = host::TruncateToInt32(host::ToNumber(L, index));
}

void ReadIntOption(ScriptState *L, int tableArg, const char *key, int *value) {
    ReadIntValue(L, FetchOption(L, tableArg, key), value);
    Pop(L);
}

bool CopyStringValue(ScriptState *L, int index, host::Memory<char> *copy, size_t *length) {
    if (!host::IsValuePresent(L, index)) return true;
    size_t textLength = 0;
    const char *text = host::GetStringArg(L, index, &textLength);
    copy->reset(static_cast<char *>(host::AllocMemory(textLength + 1, false, "tstring")));
    if (!*copy) return false;
    std::memcpy(copy->get(), text, textLength + 1);
    *length = textLength;
    return true;
}
