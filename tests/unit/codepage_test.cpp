// Code page 437 conversion with a host decoder that misbehaves: it must
// never make the conversion write past its output. (Both text modes and the
// table are checked against python's codec by codepage_oracle.lua.)
#include <gtest/gtest.h>

#include <string>

#include "host.h"
#include "library/codepage.h"
#include "plugin.h"
#include "test_host.h"

namespace {

// Converts text in the given text mode; the copy is released again.
std::string Convert(const std::string &text, int utf8Mode) {
    gState.utf8Mode = utf8Mode;
    char *converted = ConvertToCodePage437(text.c_str());
    EXPECT_NE(converted, nullptr);
    std::string result = converted ? converted : "";
    host::FreeMemory(converted);
    return result;
}

// Runs body with a host whose DecodeUtf8Char is decode.
template <typename Body> void WithDecoder(uint32_t (*decode)(const char *, int *), Body body) {
    const HostApi *saved = host::api;
    HostApi api = *saved;
    HostUtf8Api utf8{};
    utf8.DecodeUtf8Char = decode;
    api.utf8 = &utf8;
    host::api = &api;
    body();
    host::api = saved;
}

uint32_t StuckDecoder(const char *, int *) { return 'x'; }
uint32_t RunawayDecoder(const char *, int *index) {
    *index += 100;
    return 'y';
}

TEST(ConvertToCodePage437, DecodersThatStallOrJumpPastTheEndStillStop) {
    WithDecoder(StuckDecoder, [] { EXPECT_EQ(Convert("abc", 1), "xxx"); });
    WithDecoder(RunawayDecoder, [] { EXPECT_EQ(Convert("abc", 1), "y"); });
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

}  // namespace
