// The PACK head's file bytes and the checksum every PACK field relies on.
#include "pack_format.h"
#include "pack_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

TEST(PackChecksum, KnownVectors)
{
    struct vector_case {
        std::string bytes;
        uint32_t sum;
    };
    const vector_case cases[] = {
        {"", 0xAFFE4711},
        {"abc", 0x07C93471},
        // Bytes from 0x80 widen with their sign; an unsigned widening gives 0x51B95691.
        {std::string(1, '\x80'), 0x5001B891},
    };
    for (const vector_case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(checksum_of(c.bytes), c.sum);
    }
}

TEST(PackChecksum, EveryByteAndItsPositionCount)
{
    EXPECT_NE(checksum_of("ab"), checksum_of("ba"));
    EXPECT_NE(checksum_of(std::string(1, '\0')), checksum_of(""));
    EXPECT_NE(checksum_of(std::string("\xFF\x01", 2)), checksum_of(std::string("\xFF\x02", 2)));
}

TEST(PackHead, EncodesEightLittleEndianWords)
{
    pack_head h = {0xF37AB00B, 3,          0x11223344, 0x55667788,
                   0x99AABBCC, 0xDDEEFF00, 0x01020304, 0xA5A5A5A5};
    unsigned char bytes[PACK_HEAD_SIZE];
    pack_head_encode(&h, bytes);
    const unsigned char expected[PACK_HEAD_SIZE] = {0x0B, 0xB0, 0x7A, 0xF3, 0x03, 0x00, 0x00, 0x00,
                                                    0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55,
                                                    0xCC, 0xBB, 0xAA, 0x99, 0x00, 0xFF, 0xEE, 0xDD,
                                                    0x04, 0x03, 0x02, 0x01, 0xA5, 0xA5, 0xA5, 0xA5};
    EXPECT_EQ(slice(bytes, sizeof bytes), slice(expected, sizeof expected));

    pack_head back;
    memset(&back, 0, sizeof back);
    pack_head_decode(expected, &back);
    EXPECT_EQ(memcmp(&back, &h, sizeof h), 0);
}

} // namespace
