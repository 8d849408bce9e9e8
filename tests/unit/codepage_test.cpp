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

// Converts text in UTF-8 mode with a host whose DecodeUtf8Char is decode;
// the copy is released again.
std::string ConvertWith(uint32_t (*decode)(const char *, int *), const char *text) {
    const HostApi *saved = host::api;
    HostApi api = *saved;
    HostUtf8Api utf8{};
    utf8.DecodeUtf8Char = decode;
    api.utf8 = &utf8;
    host::api = &api;
    gState.utf8Mode = 1;
    char *converted = ConvertToCodePage437(text);
    host::api = saved;
    EXPECT_NE(converted, nullptr);
    std::string result = converted ? converted : "";
    host::FreeMemory(converted);
    return result;
}

uint32_t StuckDecoder(const char *, int *) { return 'x'; }
uint32_t RunawayDecoder(const char *, int *index) {
    *index += 100;
    return 'y';
}

TEST(ConvertToCodePage437, DecodersThatStallOrJumpPastTheEndStillStop) {
    EXPECT_EQ(ConvertWith(StuckDecoder, "abc"), "xxx");
    EXPECT_EQ(ConvertWith(RunawayDecoder, "abc"), "y");
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

}  // namespace
