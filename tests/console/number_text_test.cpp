// Number texts as the boot counter dialog reads them: hexadecimal or decimal by their letters.
#include "number_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

struct number_case {
    const char *text;
    int kind; // ishex over the whole text
    uint32_t value;
};

const number_case NUMBER_CASES[] = {
    {"0x1A", 2, 26},
    {"1A", 1, 26},
    {"ff", 1, 255},
    {"100", 0, 100},
    {"12a", 1, 298},
    {"0X1A", 1, 26}, // upper-case X is no prefix for the class, but hex reading takes it
    {"0x", 0, 0},
    {"xyz", 0, 0},
    {"-1", 0, 0xFFFFFFFFu},
    {"4294967295", 0, 2147483647u},
    {"2147483647", 0, 2147483647u},
    {"-2147483648", 0, 0x80000000u},
    {"-99999999999", 0, 0x80000000u},
    {"0x1FFFFFFFF", 2, 0xFFFFFFFFu},
    {"0xFFFFFFFF", 2, 0xFFFFFFFFu},
    {"0x0x5", 2, 5}, // the rest after "0x" is read with its own optional prefix
    {"0xg", 2, 0},   // no digits
    {"-a", 1, 0xFFFFFFF6u},
    {"-0x1FFFFFFFF", 1, 0xFFFFFFFFu}, // an overflow saturates whatever the sign
    {"a12", 1, 0xA12},                // a letter among the first two characters counts too
    {"b1", 1, 0xB1},
    {"Ab", 1, 0xAB},
    {"12ag", 1, 0x12A}, // hex reading stops at the first non-digit
    {"12z", 0, 12},
    {"+7", 0, 7},
    {"", 0, 0},
    {"0", 0, 0},
    {"007", 0, 7},
};

TEST(ReadNumber, ClassifiesAndConvertsNumberTexts)
{
    for (const number_case &c : NUMBER_CASES) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ishex(c.text, static_cast<unsigned>(strlen(c.text))), c.kind);
        EXPECT_EQ(read_number(c.text), c.value);
    }
}

TEST(IsHex, LooksOnlyAtTheGivenLength)
{
    EXPECT_EQ(ishex("12a", 2), 0);
    EXPECT_EQ(ishex("0x1", 2), 0); // "0x" needs at least three characters
    EXPECT_EQ(ishex("0x1", 3), 2);
    EXPECT_EQ(ishex("0xz", 3), 2);
    EXPECT_EQ(ishex("0Xa", 3), 1);
}

TEST(IsHexDigit, IsTrueForTheLettersAToFOnly)
{
    for (int c = -1; c <= 256; ++c) {
        bool letter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        EXPECT_EQ(ishexdigit(c), letter ? 1 : 0) << c;
    }
}

} // namespace
