// The HEX parser over literal texts: field reads, result codes, messages with their text
// offsets, addressing records, block flagging and end_addr.
#include "ihex_parse.h"

#include "firmware_image.h"
#include "capture_stdout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t END_UNSET = 0xDEADBEEF; // end_addr holder value that a failed parse keeps

struct parsed {
    int rc = -1;
    std::string out;
    std::vector<unsigned char> image; // empty unless rc == 0
    std::vector<unsigned char> map;
    uint32_t end_addr = END_UNSET;
    bool outputs_untouched = true; // image and map pointers still null
};

parsed parse(const std::string &text, std::size_t image_size, std::size_t block_count,
             std::size_t len)
{
    parsed p;
    // An exact-size heap copy without terminator, so a read past the end is a memory error.
    std::vector<char> buf(text.begin(), text.end());
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    p.out = stdout_of([&] {
        p.rc = ihex_parse(buf.data(), len, &image, &map, image_size, block_count, &p.end_addr);
    });
    p.outputs_untouched = image == nullptr && map == nullptr;
    if (image)
        p.image.assign(image, image + image_size);
    if (map)
        p.map.assign(map, map + block_count);
    free(image);
    free(map);
    return p;
}

parsed parse_flash(const std::string &text)
{
    return parse(text, FW_IMAGE_SIZE, FW_BLOCK_COUNT, text.size());
}

parsed parse_eeprom(const std::string &text)
{
    return parse(text, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, text.size());
}

std::vector<std::size_t> flagged_blocks(const parsed &p)
{
    std::vector<std::size_t> blocks;
    for (std::size_t i = 0; i < p.map.size(); ++i)
        if (p.map[i])
            blocks.push_back(i);
    return blocks;
}

// ---------------------------------------------------------------------------------------------
// ihex_get_field

struct field_case {
    const char *name;
    const char *text;
    int digits;
    uint32_t chars_left;
    bool ok;
    uint32_t value;
};

const field_case field_cases[] = {
    {"two_upper", "1A", 2, 2, true, 0x1A},
    {"mixed_case", "aBcD", 4, 4, true, 0xABCD},
    {"digits_only", "0919", 4, 10, true, 0x0919},
    {"zero_digits", "zz", 0, 0, true, 0},
    {"nine_digits_keep_low_32_bits", "123456789", 9, 9, true, 0x23456789},
    {"too_few_left", "1234", 4, 3, false, 0},
    {"g_is_no_digit", "1g", 2, 2, false, 0},
    {"blank_is_no_digit", " 1", 2, 2, false, 0},
    {"colon_is_no_digit", "1:", 2, 2, false, 0},
    {"negative_count", "12", -1, 2, false, 0},
};

void PrintTo(const field_case &c, std::ostream *os)
{
    *os << c.name;
}

class field_read : public ::testing::TestWithParam<field_case>
{
};

TEST_P(field_read, reads_or_consumes_nothing)
{
    const field_case &c = GetParam();
    parse_cursor cur{};
    cur.pos = c.text;
    cur.chars_left = c.chars_left;
    uint32_t value = 0x5A5A5A5A;
    const char *next = ihex_get_field(c.text, c.digits, &cur, &value);
    if (c.ok) {
        ASSERT_EQ(next, c.text + c.digits);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cur.chars_left, c.chars_left - static_cast<uint32_t>(c.digits));
    } else {
        EXPECT_EQ(next, nullptr);
        EXPECT_EQ(cur.chars_left, c.chars_left);
    }
}

INSTANTIATE_TEST_SUITE_P(ihex, field_read, ::testing::ValuesIn(field_cases),
                         [](const auto &tpi) { return std::string(tpi.param.name); });

// ---------------------------------------------------------------------------------------------
// Texts that do not parse: result 7, one message (or none), nothing handed out.

struct failure_case {
    const char *name;
    std::string text;
    std::size_t image_size;
    std::size_t block_count;
    const char *message;
};

const failure_case failure_cases[] = {
    // Field reads; the offset is that of the first character of the field that failed.
    {"datalen_bad_digit", ":G100000055AA\n:00000001FF\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'datalen' at 1\n"},
    {"datalen_after_text_and_record", "junk\r\n:0100000055AA\r\n:zz", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'datalen' at 22\n"},
    {"datalen_cut_by_end", ":0", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'datalen' at 1\n"},
    {"addr_bad_digit", ":01X0000055AA\n:00000001FF\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 3\n"},
    {"rectype_bad_digit", ":010000x055AA\n:00000001FF\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 7\n"},
    {"rectype_cut_by_end", ":0100000055AA\n:000000", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 21\n"},
    {"data_byte_g", ":010000005gAA\n:00000001FF\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 9\n"},
    {"second_data_byte_bad", "xx:02000000112g00\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 13\n"},
    {"data_cut_by_end", ":0200000011", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 11\n"},
    {"data_checksum_missing", ":0100000055", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 11\n"},
    {"data_checksum_bad_digit", ":0100000055A?\n:00000001FF\n", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 11\n"},
    {"segment_bad_digit", ":020000021G00EC\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'segment' at 9\n"},
    {"segment_cut_by_end", ":0200000210", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'segment' at 9\n"},
    {"segment_checksum_missing", ":020000021000", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'addr' at 13\n"},
    {"linear_bad_digit", ":02000004000XF9\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: parse error getting 'segment' at 9\n"},
    {"segment_length_9", ":09000002010203040506070809C8\n:0100000055AA\n:00000001FF\n",
     FW_IMAGE_SIZE, FW_BLOCK_COUNT, "segment offset too large!\n"},

    // Record checksums of every record read whole; the offset is the checksum field's.
    {"data_checksum_mismatch", ":0100000055AB\n:00000001FF\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: record checksum mismatch at 11\n"},
    {"eof_checksum_mismatch", ":0100000055AA\n:00000001FE\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: record checksum mismatch at 23\n"},
    {"eof_with_data_checksum_mismatch", ":0100000055AA\n:0100000112ED\n", FW_IMAGE_SIZE,
     FW_BLOCK_COUNT, "HEX: record checksum mismatch at 25\n"},
    {"segment_checksum_mismatch", ":020000021000ED\n:0100000055AA\n:00000001FF\n", FW_IMAGE_SIZE,
     FW_BLOCK_COUNT, "HEX: record checksum mismatch at 13\n"},
    {"linear_checksum_mismatch", ":020000040001F8\n:0100000055AA\n:00000001FF\n", FW_IMAGE_SIZE,
     FW_BLOCK_COUNT, "HEX: record checksum mismatch at 13\n"},

    // Linear address records carry exactly 16 bits.
    {"linear_length_1", ":0100000401FA\n:0100000055AA\n:00000001FF\n", FW_IMAGE_SIZE,
     FW_BLOCK_COUNT, "HEX: extended linear address record with data length 1 at 1\n"},
    {"linear_length_0", "\n:00000004FC\n:0100000055AA\n:00000001FF\n", FW_IMAGE_SIZE,
     FW_BLOCK_COUNT, "HEX: extended linear address record with data length 0 at 2\n"},

    // No end-of-file record after data.
    {"only_eof", ":00000001FF\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT, ""},
    {"only_empty_data_then_eof", ":0000000000\n:00000001FF\n", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, ""},
    {"no_eof", ":0100000055AA\n", FW_IMAGE_SIZE, FW_BLOCK_COUNT,
     "HEX: end of text at 14 without end-of-file record\n"},
    {"empty_text", "", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT,
     "HEX: end of text at 0 without end-of-file record\n"},
    {"text_without_colon", "no records here\n", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT,
     "HEX: end of text at 16 without end-of-file record\n"},

    // Data outside the image fails; the offset is the record's address field.
    {"eeprom_record_crosses_end", ":020FFF00AABB8B\n:00000001FF\n", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT,
     "HEX: data at 0x1000 beyond image size 0x1000 at 3\n"},
    {"eeprom_empty_record_beyond_end", ":0100000055AA\n:00200000E0\n:00000001FF\n", EEP_IMAGE_SIZE,
     EEP_BLOCK_COUNT, "HEX: data at 0x2000 beyond image size 0x1000 at 17\n"},
    {"flash_segment_base_at_end", ":020000022000DC\n:0100000055AA\n:00000001FF\n", FW_IMAGE_SIZE,
     FW_BLOCK_COUNT, "HEX: data at 0x20000 beyond image size 0x20000 at 19\n"},
    {"flash_linear_base_would_wrap_32_bits", ":02000004FFFFFC\n:01FFFF0055AC\n:00000001FF\n",
     FW_IMAGE_SIZE, FW_BLOCK_COUNT, "HEX: data at 0xFFFFFFFF beyond image size 0x20000 at 19\n"},
    {"block_map_shorter_than_image", ":010800007780\n:00000001FF\n", EEP_IMAGE_SIZE, 8,
     "HEX: data at 0x800 beyond image size 0x800 at 3\n"},
};

void PrintTo(const failure_case &c, std::ostream *os)
{
    *os << c.name;
}

class parse_failure : public ::testing::TestWithParam<failure_case>
{
};

TEST_P(parse_failure, gives_7_with_its_message_and_hands_out_nothing)
{
    const failure_case &c = GetParam();
    parsed p = parse(c.text, c.image_size, c.block_count, c.text.size());
    EXPECT_EQ(p.rc, IHEX_PARSE_ERROR);
    EXPECT_EQ(p.out, c.message);
    EXPECT_TRUE(p.outputs_untouched);
    EXPECT_EQ(p.end_addr, END_UNSET);
}

INSTANTIATE_TEST_SUITE_P(ihex, parse_failure, ::testing::ValuesIn(failure_cases),
                         [](const auto &tpi) { return std::string(tpi.param.name); });

// The given length bounds the text even where the buffer goes on.
TEST(ihex_parse, stops_at_the_given_length)
{
    const std::string text = ":0100000055AA\n:00000001FF\n";
    parsed cut_in_checksum = parse(text, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, 24);
    EXPECT_EQ(cut_in_checksum.rc, IHEX_PARSE_ERROR);
    EXPECT_EQ(cut_in_checksum.out, "HEX: parse error getting 'addr' at 23\n");

    parsed cut_before_eof = parse(text, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, 14);
    EXPECT_EQ(cut_before_eof.rc, IHEX_PARSE_ERROR);
    EXPECT_EQ(cut_before_eof.out, "HEX: end of text at 14 without end-of-file record\n");

    parsed whole = parse(text, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, 25);
    EXPECT_EQ(whole.rc, IHEX_OK) << whole.out;
}

// ---------------------------------------------------------------------------------------------
// Texts that parse

TEST(ihex_parse, fills_gaps_with_ff_and_flags_only_touched_blocks)
{
    // Descending order: end_addr is the highest end, not the last record's.
    parsed p = parse_flash(":020200001122C9\n:02001000334477\n:00000001FF\n");
    ASSERT_EQ(p.rc, IHEX_OK) << p.out;
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.end_addr, 0x202u);
    EXPECT_EQ(p.image[0x10], 0x33);
    EXPECT_EQ(p.image[0x11], 0x44);
    EXPECT_EQ(p.image[0x200], 0x11);
    EXPECT_EQ(p.image[0x201], 0x22);
    std::vector<unsigned char> expected(FW_IMAGE_SIZE, 0xFF);
    expected[0x10] = 0x33;
    expected[0x11] = 0x44;
    expected[0x200] = 0x11;
    expected[0x201] = 0x22;
    EXPECT_TRUE(p.image == expected);
    EXPECT_EQ(flagged_blocks(p), (std::vector<std::size_t>{0, 2}));
}

TEST(ihex_parse, record_across_a_block_boundary_flags_both_blocks)
{
    parsed p = parse_eeprom(":1000F800000102030405060708090A0B0C0D0E0F80\n:00000001FF\n");
    ASSERT_EQ(p.rc, IHEX_OK) << p.out;
    EXPECT_EQ(flagged_blocks(p), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(p.image[0xF7], 0xFF);
    for (unsigned i = 0; i < 16; ++i)
        EXPECT_EQ(p.image[0xF8 + i], i);
    EXPECT_EQ(p.image[0x108], 0xFF);
    EXPECT_EQ(p.end_addr, 0x108u);
}

TEST(ihex_parse, record_ending_at_the_image_end_is_accepted)
{
    parsed p = parse_eeprom(":020FFE00AABB8C\n:00000001FF\n");
    ASSERT_EQ(p.rc, IHEX_OK) << p.out;
    EXPECT_EQ(p.image[0xFFE], 0xAA);
    EXPECT_EQ(p.image[0xFFF], 0xBB);
    EXPECT_EQ(flagged_blocks(p), (std::vector<std::size_t>{15}));
    EXPECT_EQ(p.end_addr, 0x1000u);
}

TEST(ihex_parse, accepts_both_digit_cases_and_skips_text_between_records)
{
    const std::string upper = ":04010000DEADBEEFC3\n:00000001FF\n";
    const std::string lower_and_noise =
        "; firmware 1.03\r\n  :04010000deadbeefc3\r\n\t# end\r\n:00000001ff\r\ntrailing :zz";
    parsed a = parse_flash(upper);
    parsed b = parse_flash(lower_and_noise);
    ASSERT_EQ(a.rc, IHEX_OK) << a.out;
    ASSERT_EQ(b.rc, IHEX_OK) << b.out;
    EXPECT_EQ(b.out, "");
    EXPECT_TRUE(a.image == b.image);
    EXPECT_TRUE(a.map == b.map);
    EXPECT_EQ(a.end_addr, b.end_addr);
    EXPECT_EQ(b.image[0x100], 0xDE);
    EXPECT_EQ(b.image[0x103], 0xEF);
}

TEST(ihex_parse, skips_other_record_types_with_a_line_each)
{
    // Start addresses (3, 5) and unknown types are skipped unread, even with a broken tail.
    parsed p = parse_flash(":0400000300003800C1\n:0100000055AA\n:040000050000CD2A00\n"
                           ":00000007ZZ\n:00000001FF\n");
    ASSERT_EQ(p.rc, IHEX_OK) << p.out;
    EXPECT_EQ(p.out, "UNSUPPORTED RECTYPE 3\nUNSUPPORTED RECTYPE 5\nUNSUPPORTED RECTYPE 7\n");
    EXPECT_EQ(p.image[0], 0x55);
    EXPECT_EQ(p.end_addr, 1u);
}

TEST(ihex_parse, end_addr_holder_is_optional)
{
    const std::string text = ":0100000055AA\n:00000001FF\n";
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    std::string out = stdout_of([&] {
        EXPECT_EQ(ihex_parse(text.data(), text.size(), &image, &map, EEP_IMAGE_SIZE,
                             EEP_BLOCK_COUNT, nullptr),
                  IHEX_OK);
    });
    EXPECT_EQ(out, "");
    ASSERT_NE(image, nullptr);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(image[0], 0x55);
    free(image);
    free(map);
}

// Extended segment (type 2) and linear (type 4) records: each sets the base that the following
// data record ":04010000DEADBEEFC3" (address 0x0100) is placed from; a later one replaces it.
struct base_case {
    const char *name;
    const char *prefix;
    uint32_t offset; // where the data record lands
};

const base_case base_cases[] = {
    {"none", "", 0x100},
    {"segment_1000", ":020000021000EC\n", 0x10100},
    {"linear_0001", ":020000040001F9\n", 0x10100},
    {"segment_replaces_segment", ":020000021000EC\n:020000020800F4\n", 0x8100},
    {"segment_replaces_linear", ":020000040001F9\n:020000020800F4\n", 0x8100},
    {"linear_replaces_segment", ":020000021000EC\n:020000040000FA\n", 0x100},
    {"empty_segment_resets", ":020000021000EC\n:00000002FE\n", 0x100},
    {"segment_with_3_bytes_keeps_its_value", ":03000002001000EB\n", 0x10100}, // 0x001000 << 4
};

void PrintTo(const base_case &c, std::ostream *os)
{
    *os << c.name;
}

class base_address : public ::testing::TestWithParam<base_case>
{
};

TEST_P(base_address, places_the_following_data)
{
    const base_case &c = GetParam();
    parsed p = parse_flash(std::string(c.prefix) + ":04010000DEADBEEFC3\n:00000001FF\n");
    ASSERT_EQ(p.rc, IHEX_OK) << p.out;
    EXPECT_EQ(p.out, "");
    const unsigned char bytes[] = {0xDE, 0xAD, 0xBE, 0xEF};
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(p.image[c.offset + i], bytes[i]) << i;
    EXPECT_EQ(flagged_blocks(p), (std::vector<std::size_t>{c.offset / AVR_BLOCK_SIZE}));
    EXPECT_EQ(p.end_addr, c.offset + 4);
    EXPECT_EQ(std::count(p.image.begin(), p.image.end(), 0xFF),
              static_cast<std::ptrdiff_t>(FW_IMAGE_SIZE - 4));
}

INSTANTIATE_TEST_SUITE_P(ihex, base_address, ::testing::ValuesIn(base_cases),
                         [](const auto &tpi) { return std::string(tpi.param.name); });

} // namespace
