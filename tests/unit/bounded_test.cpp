// Bounded copy and append: what is written and what is reported.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/bounded.h"

namespace {

TEST(Bounded, CopyAndAppendWriteWhatFitsAndReportCuts) {
    // append or copy; destination before (8 bytes given, '#' unterminated);
    // size; text; result; destination after ("" when nothing was written)
    const struct { bool append; const char *before; size_t size; const char *text; int result; const char *after; } cases[] = {
        {false, "xxxx", 0, "abc", 0, "xxxx"},  // size zero writes nothing
        {false, "", 4, "abc", 1, "abc"},
        {false, "", 4, "abcd", 0, "abc"},
        {false, "x", 1, "", 1, ""},
        {false, "x", 1, "a", 0, ""},
        {true, "ab", 8, "cde", 1, "abcde"},
        {true, "abcde", 8, "fgh", 0, "abcdefg"},
        {true, "abc", 4, "", 1, "abc"},
        {true, "abc", 4, "d", 0, "abc"},
        {true, "abcd#", 4, "e", 0, "abc"},  // unterminated: terminated at its end
        {true, "abcd#", 4, "", 1, "abc"},
        {true, "xx", 0, "", 0, "xx"},
    };
    for (const auto &c : cases) {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        std::string before = c.before;
        if (!before.empty() && before.back() == '#') before.pop_back();
        else before += '\0';
        std::memcpy(buffer, before.data(), before.size());
        const int result = c.append ? AppendBounded(buffer, c.size, c.text) : CopyBounded(buffer, c.size, c.text);
        EXPECT_EQ(result, c.result) << c.before << " + " << c.text;
        EXPECT_EQ(std::string(buffer, strnlen(buffer, sizeof buffer)), c.after) << c.before << " + " << c.text;
    }
}

}  // namespace
