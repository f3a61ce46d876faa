// Bytes as the tools show them, and the shown form read back.
#include "shown_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace
{

TEST(ShownBytes, PrintableAsciiStaysEverythingElseIsEscaped)
{
    const std::pair<unsigned char, const char *> cases[] = {
        {0x00, "\\x00"}, {0x07, "\\x07"}, {0x1B, "\\x1b"}, {0x1F, "\\x1f"},
        {0x20, " "},     {'A', "A"},      {'"', "\""},     {0x5C, "\\x5c"},
        {0x7E, "~"},     {0x7F, "\\x7f"}, {0x80, "\\x80"}, {0xFF, "\\xff"},
    };
    for (const auto &[byte, shown] : cases) {
        char out[SHOWN_BYTE_MAX + 1];
        EXPECT_EQ(shown_byte(byte, out), strlen(shown)) << int(byte);
        EXPECT_STREQ(out, shown) << int(byte);
    }
}

TEST(ShownBytes, AppendingStopsAtAWholeByteWhenTheBufferIsFull)
{
    char buf[10] = "ab";
    const unsigned char bytes[] = {'c', 0x1B, 0x1B};
    EXPECT_EQ(append_shown(buf, sizeof buf, bytes, sizeof bytes), 7u);
    EXPECT_STREQ(buf, "abc\\x1b");
}

TEST(ShownBytes, EveryByteDecodesBackFromItsShownForm)
{
    std::string shown;
    for (int b = 0; b < 256; ++b) {
        char one[SHOWN_BYTE_MAX + 1];
        shown_byte(static_cast<unsigned char>(b), one);
        shown += one;
    }
    unsigned char out[256];
    std::size_t len = 0;
    std::size_t at = 0;
    ASSERT_EQ(shown_decode(shown.data(), shown.size(), out, sizeof out, &len, &at), SHOWN_DECODED);
    ASSERT_EQ(len, 256u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(out[b], b);
}

TEST(ShownBytes, DecodingRefusesWhatTheShownFormNeverHolds)
{
    struct decode_case {
        std::string shown;
        std::size_t size; // bytes the output holds
        shown_decode_result result;
        std::string bytes; // SHOWN_DECODED
        std::size_t at;    // otherwise: the offset refused
    };
    const decode_case cases[] = {
        {"", 4, SHOWN_DECODED, "", 0},
        {"A\\x5cB", 4, SHOWN_DECODED, "A\\B", 0},
        {"\\xFF\\x0a", 4, SHOWN_DECODED, "\xff\n", 0},
        {"ab\\", 4, SHOWN_NOT_SHOWN_FORM, "", 2},
        {"ab\\x", 4, SHOWN_NOT_SHOWN_FORM, "", 2},
        {"ab\\x4", 4, SHOWN_NOT_SHOWN_FORM, "", 2},
        {"\\x4g", 4, SHOWN_NOT_SHOWN_FORM, "", 0},
        {"\\n", 4, SHOWN_NOT_SHOWN_FORM, "", 0},
        {"a\tb", 4, SHOWN_NOT_SHOWN_FORM, "", 1},
        {"a\xc3\xa4", 4, SHOWN_NOT_SHOWN_FORM, "", 1},
        {"abcd", 4, SHOWN_DECODED, "abcd", 0},
        {"abcde", 4, SHOWN_TOO_LONG, "", 4},
        {"abc\\x41\\x42", 4, SHOWN_TOO_LONG, "", 7},
    };
    for (const decode_case &c : cases) {
        SCOPED_TRACE(c.shown);
        unsigned char out[8];
        std::size_t len = 99;
        std::size_t at = 99;
        ASSERT_EQ(shown_decode(c.shown.data(), c.shown.size(), out, c.size, &len, &at), c.result);
        if (c.result == SHOWN_DECODED)
            EXPECT_EQ(std::string(reinterpret_cast<char *>(out), len), c.bytes);
        else
            EXPECT_EQ(at, c.at);
    }
}

} // namespace
