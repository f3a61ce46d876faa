// Packed BCD dates to text and back.
#include "packed_date.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace
{

struct unpack_case {
    const char *name;
    unsigned char packed[PACKED_DATE_SIZE];
    int valid;
    const char *text; // what the buffer holds afterwards (it starts zeroed)
};

const unpack_case UNPACK_CASES[] = {
    {"regular", {0x24, 0x12, 0x09, 0x20, 0x08, 0x05}, 1, "24.12.09-08:05"},
    {"all zero", {0, 0, 0, 0, 0, 0}, 1, "00.00.0000.00.00"},
    {"no blank at byte 3", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 1, "01.02.0304.05.06"},
    {"nibbles above 9", {0x1A, 0x2F, 0x3C, 0x20, 0x0B, 0x4E}, 1, "1:.2?.3<-0;:4>"},
    {"erased", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, ""},
    {"erased day", {0xFF, 0x12, 0x09, 0x20, 0x08, 0x05}, 0, ""},
    {"year 60", {0x01, 0x01, 0x60, 0x20, 0x00, 0x00}, 0, "01.01."},
    {"year 99", {0x31, 0x12, 0x99, 0x20, 0x23, 0x59}, 0, "31.12."},
    {"year 59", {0x31, 0x12, 0x59, 0x20, 0x23, 0x59}, 1, "31.12.59-23:59"},
    {"limit 0x59 passes", {0x59, 0x59, 0x59, 0x20, 0x59, 0x59}, 1, "59.59.59-59:59"},
    {"limit 0x5A fails", {0x01, 0x01, 0x01, 0x20, 0x01, 0x5A}, 0, "01.01.01-01:"},
    {"0x5A at byte 3", {0x01, 0x01, 0x01, 0x5A, 0x01, 0x01}, 0, "01.01.01"},
};

class UnpackDate : public ::testing::TestWithParam<unpack_case>
{
};

} // namespace

TEST_P(UnpackDate, GivesTextAndValidity)
{
    const unpack_case &c = GetParam();
    char text[DATE_TEXT_MIN_BUFFER + 8];
    memset(text, 0, sizeof text);
    EXPECT_EQ(unpack_date(c.packed, text), c.valid);
    EXPECT_STREQ(text, c.text);
    EXPECT_LE(strlen(text), static_cast<size_t>(DATE_TEXT_MIN_BUFFER - 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnpackDate, ::testing::ValuesIn(UNPACK_CASES),
                         [](const ::testing::TestParamInfo<unpack_case> &i) {
                             std::string n = i.param.name;
                             for (char &ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

TEST(UnpackDateBuffer, InvalidDateWritesNoTerminator)
{
    const unsigned char packed[PACKED_DATE_SIZE] = {0x01, 0x01, 0x60, 0x20, 0, 0};
    char text[DATE_TEXT_MIN_BUFFER];
    memset(text, '#', sizeof text);
    EXPECT_EQ(unpack_date(packed, text), 0);
    EXPECT_EQ(std::string(text, 8), "01.01.##");
}

namespace
{

struct pack_case {
    const char *text;
    int result;
    unsigned char packed[PACKED_DATE_SIZE]; // expected bytes when result is 0
};

const unsigned char UNTOUCHED = 0xEE;

// Shown by GoogleTest (and so by ctest) in the case's description instead of its raw bytes.
void PrintTo(const pack_case &c, std::ostream *os)
{
    *os << '"' << c.text << "\" -> " << c.result;
}

void PrintTo(const unpack_case &c, std::ostream *os)
{
    *os << c.name;
}

const pack_case PACK_CASES[] = {
    {"24.12.09-08:05", 0, {0x24, 0x12, 0x09, 0x20, 0x08, 0x05}},
    {"", 0, {0x00, 0x00, 0x00, 0x20, 0x00, 0x00}},
    {"00.00.00-00:00", 0, {0x00, 0x00, 0x00, 0x20, 0x00, 0x00}},
    {"31.12.99-23:59", 0, {0x31, 0x12, 0x99, 0x20, 0x23, 0x59}},
    {"1.2.3-4:5", 0, {0x01, 0x02, 0x03, 0x20, 0x04, 0x05}},
    {"15.06", 0, {0x15, 0x06, 0x00, 0x20, 0x00, 0x00}},
    {"01.02.2012-10:30", 0, {0x01, 0x02, 0x20, 0x20, 0x00, 0x00}},
    {"garbage", 0, {0x00, 0x00, 0x00, 0x20, 0x00, 0x00}},
    // Only the first 15 characters count: the minute is cut off and stays 0.
    {"01.01.12-10:   5", 0, {0x01, 0x01, 0x12, 0x20, 0x10, 0x00}},
    {"01.01.12-10:  5", 0, {0x01, 0x01, 0x12, 0x20, 0x10, 0x05}},
    {"32.01.12-10:00", 1, {}},
    {"-1.01.12-10:00", 1, {}},
    {"01.13.12-10:00", 2, {}},
    {"01.-1.12-10:00", 2, {}},
    {"01.01.-1-10:00", 3, {}},
    {"01.01.12-24:00", 4, {}},
    {"01.01.12-23:60", 5, {}},
    {"99.99.99-99:99", 1, {}},
};

class PackDate : public ::testing::TestWithParam<pack_case>
{
};

} // namespace

TEST_P(PackDate, StoresOnlyValidDates)
{
    const pack_case &c = GetParam();
    unsigned char packed[PACKED_DATE_SIZE];
    memset(packed, UNTOUCHED, sizeof packed);
    EXPECT_EQ(pack_date(c.text, packed), c.result);
    for (int i = 0; i < PACKED_DATE_SIZE; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(packed[i], c.result == 0 ? c.packed[i] : UNTOUCHED);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PackDate, ::testing::ValuesIn(PACK_CASES),
                         [](const ::testing::TestParamInfo<pack_case> &i) {
                             return "case" + std::to_string(i.index);
                         });

TEST(PackedDateRoundTrip, RegularDatesSurviveBothWays)
{
    const char *texts[] = {"01.01.00-00:00", "29.02.48-12:34", "31.12.59-23:59", "10.10.10-10:10"};
    for (const char *t : texts) {
        SCOPED_TRACE(t);
        unsigned char packed[PACKED_DATE_SIZE];
        ASSERT_EQ(pack_date(t, packed), 0);
        char text[DATE_TEXT_MIN_BUFFER] = {};
        ASSERT_EQ(unpack_date(packed, text), 1);
        EXPECT_STREQ(text, t);
    }
}

TEST(PackedDateRoundTrip, YearsFromSixtyPackButDoNotUnpack)
{
    unsigned char packed[PACKED_DATE_SIZE];
    ASSERT_EQ(pack_date("31.12.99-23:59", packed), 0);
    char text[DATE_TEXT_MIN_BUFFER] = {};
    EXPECT_EQ(unpack_date(packed, text), 0);
}
