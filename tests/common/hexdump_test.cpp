#include "capture_stdout.h"
#include "hexdump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const std::string HEADER =
    "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n";

std::string dump(const std::vector<unsigned char> &bytes, int count)
{
    capture_stdout cap;
    hexdump(bytes.data(), count);
    return cap.text();
}

TEST(Hexdump, ShowsEveryCharacterClass)
{
    std::vector<unsigned char> bytes = {0x00, 0xFF, 0x20, 0x7E, 0x1F, 0x7F, 0x80, 'A',
                                        'z',  '0',  0x0D, 0x0A, 0xFE, 0x01, '~',  ' '};
    EXPECT_EQ(dump(bytes, 16),
              HEADER + "00: 00 ff 20 7e 1f 7f 80 41 7a 30 0d 0a fe 01 7e 20    .. ~???Az0????~ \n");
}

TEST(Hexdump, CountsThatAreNotWholeLinesShowTheWholeLastLine)
{
    std::vector<unsigned char> bytes(32, 0);
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>('#' + i);
    const std::string zero_line =
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00    ................\n";
    EXPECT_EQ(dump(bytes, 8),
              HEADER + "00: 23 24 25 26 27 28 29 2a 00 00 00 00 00 00 00 00    #$%&'()*........\n");
    EXPECT_EQ(dump(bytes, 24), HEADER +
                                   "00: 23 24 25 26 27 28 29 2a 00 00 00 00 00 00 00 00    "
                                   "#$%&'()*........\n" +
                                   "10: " + zero_line);
    EXPECT_EQ(dump(bytes, 0), HEADER);
}

TEST(Hexdump, OffsetsAreTwoHexDigitsOfTheLineStart)
{
    std::vector<unsigned char> bytes(128, 0xFF);
    std::string out = dump(bytes, 128);
    const std::string ff_line =
        "ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff    ................\n";
    std::string expected = HEADER;
    for (const char *off : {"00", "10", "20", "30", "40", "50", "60", "70"})
        expected += std::string(off) + ": " + ff_line;
    EXPECT_EQ(out, expected);
}

} // namespace
