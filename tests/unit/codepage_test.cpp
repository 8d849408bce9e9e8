// Code page 437 conversion: the table's contents, both text modes, and a
// host decoder that misbehaves must never make the conversion write past
// its output.
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
    HostUtf8Api utf8 = *saved->utf8;
    utf8.DecodeUtf8Char = decode;
    api.utf8 = &utf8;
    host::api = &api;
    body();
    host::api = saved;
}

TEST(CodePage437Table, HasExactly150Characters) {
    int present = 0;
    for (int code = 0; code < 256; code++) present += Latin1ToCodePage437[code] != 0;
    EXPECT_EQ(present, 150);
}

TEST(CodePage437Table, MissesTheListedUpperHalfCharacters) {
    const int missing[] = {0xA4, 0xA6, 0xA8, 0xA9, 0xAD, 0xAE, 0xAF, 0xB3, 0xB4, 0xB8, 0xB9, 0xBE, 0xC0,
                           0xC1, 0xC2, 0xC3, 0xC8, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD2, 0xD3,
                           0xD4, 0xD5, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDD, 0xDE, 0xE3, 0xF0, 0xF5, 0xF8,
                           0xFD, 0xFE};
    for (int code : missing) EXPECT_EQ(Latin1ToCodePage437[code], 0) << std::hex << code;
    for (int code = 0; code < 0x20; code++) EXPECT_EQ(Latin1ToCodePage437[code], 0) << code;
    for (int code = 0x7F; code < 0xA0; code++) EXPECT_EQ(Latin1ToCodePage437[code], 0) << code;
}

TEST(CodePage437Table, MapsKnownCharacters) {
    EXPECT_EQ(Latin1ToCodePage437[0x20], 0x20);
    EXPECT_EQ(Latin1ToCodePage437[0x7E], 0x7E);
    EXPECT_EQ(Latin1ToCodePage437[0xA0], 0xFF);
    EXPECT_EQ(Latin1ToCodePage437[0xB0], 0xF8);
    EXPECT_EQ(Latin1ToCodePage437[0xDF], 0xE1);
    EXPECT_EQ(Latin1ToCodePage437[0xE4], 0x84);
    EXPECT_EQ(Latin1ToCodePage437[0xFF], 0x98);
    EXPECT_EQ(Latin1ToCodePage437[0xB6], 0x14);
    EXPECT_EQ(Latin1ToCodePage437[0xA7], 0x15);
}

TEST(ConvertToCodePage437, Latin1ModeTakesEveryByteAsACharacter) {
    EXPECT_EQ(Convert("Gr\xFC\xDF \xA4\x80!", 0), "Gr\x81\xE1 ?" "?!");
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

TEST(ConvertToCodePage437, Utf8ModeDecodesAndReplacesWhatIsMissing) {
    EXPECT_EQ(Convert("Gr\xC3\xBC\xC3\x9F", 1), "Gr\x81\xE1");
    EXPECT_EQ(Convert("\xE2\x82\xAC 5 \xE4\xB8\xAD", 1), "? 5 ?");
    EXPECT_EQ(Convert("", 1), "");
}

TEST(ConvertToCodePage437, CutSequenceAtTheEndGivesOneCharacterPerByte) {
    EXPECT_EQ(Convert("a\xC3", 1), "a?");
}

uint32_t StuckDecoder(const char *, int *) { return 'x'; }
uint32_t RunawayDecoder(const char *, int *index) {
    *index += 100;
    return 'y';
}

TEST(ConvertToCodePage437, DecoderThatDoesNotAdvanceStillEnds) {
    WithDecoder(StuckDecoder, [] { EXPECT_EQ(Convert("abc", 1), "xxx"); });
}

TEST(ConvertToCodePage437, DecoderThatJumpsPastTheEndStopsThere) {
    WithDecoder(RunawayDecoder, [] { EXPECT_EQ(Convert("abc", 1), "y"); });
    EXPECT_EQ(testhost::LiveBlocks(), 0);
}

}  // namespace
