// The facts avr-fwinfo works out from loaded images: block ranges, the stamp check with images
// too long for the stamp's length field, the hardware id compared as the updater compares it and
// the updater's rates.
#include "baud_table.h"
#include "fwinfo_facts.h"
#include "fw_stamp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace
{

struct range_case {
    const char *label;
    std::vector<std::size_t> flagged;
    std::size_t count;
    std::vector<block_range> ranges;
};

// Names the case in test output and in ctest's list instead of its raw bytes.
void PrintTo(const range_case &c, std::ostream *os)
{
    *os << c.label;
}

class FwinfoBlockRanges : public testing::TestWithParam<range_case>
{
};

TEST_P(FwinfoBlockRanges, MergesConsecutiveBlocks)
{
    const range_case &c = GetParam();
    std::vector<unsigned char> map(FW_BLOCK_COUNT, 0);
    for (std::size_t b : c.flagged)
        map[b] = 7; // any non-zero entry is sent
    block_facts facts;
    collect_blocks(map.data(), map.size(), &facts);
    EXPECT_EQ(facts.count, c.count);
    ASSERT_EQ(facts.range_count, c.ranges.size());
    for (std::size_t i = 0; i < c.ranges.size(); ++i) {
        EXPECT_EQ(facts.ranges[i].first, c.ranges[i].first) << i;
        EXPECT_EQ(facts.ranges[i].last, c.ranges[i].last) << i;
    }
}

std::vector<std::size_t> every_other_block()
{
    std::vector<std::size_t> v;
    for (std::size_t b = 0; b < FW_BLOCK_COUNT; b += 2)
        v.push_back(b);
    return v;
}

std::vector<block_range> every_other_range()
{
    std::vector<block_range> v;
    for (uint32_t b = 0; b < FW_BLOCK_COUNT; b += 2)
        v.push_back({b * 256, b * 256 + 255});
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Maps, FwinfoBlockRanges,
    testing::Values(range_case{"none", {}, 0, {}}, range_case{"first", {0}, 1, {{0x0, 0xFF}}},
                    range_case{"last", {511}, 1, {{0x1FF00, 0x1FFFF}}},
                    range_case{
                        "runs",
                        {0, 1, 3, 256, 257, 511},
                        6,
                        {{0x0, 0x1FF}, {0x300, 0x3FF}, {0x10000, 0x101FF}, {0x1FF00, 0x1FFFF}}},
                    range_case{"every_other", every_other_block(), 256, every_other_range()}),
    [](const testing::TestParamInfo<range_case> &p) { return std::string(p.param.label); });

// A flash image with `len` bytes of a pattern, stamped by the updater's own stamp.
struct stamped {
    std::vector<unsigned char> fw = std::vector<unsigned char>(FW_IMAGE_SIZE, 0xFF);
    std::vector<unsigned char> eep = std::vector<unsigned char>(EEP_IMAGE_SIZE, 0xFF);
    std::vector<unsigned char> eep_map = std::vector<unsigned char>(EEP_BLOCK_COUNT, 1);

    explicit stamped(uint32_t len)
    {
        for (uint32_t i = 0; i < len; ++i)
            fw[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
        stamp_fw_checksum(eep.data(), fw.data(), len);
    }
    stamp_facts check()
    {
        stamp_facts s;
        check_stamp(eep.data(), eep_map.data(), fw.data(), &s);
        return s;
    }
};

TEST(FwinfoStampCheck, MatchesBelow64KiB)
{
    stamped img(0xFFFF);
    stamp_facts s = img.check();
    EXPECT_TRUE(s.matches);
    EXPECT_FALSE(s.wrapped);
    EXPECT_EQ(s.length, 0xFFFCu);
    EXPECT_EQ(s.covered_length, 0xFFFCu);
    EXPECT_EQ(s.computed_sum, s.sum);
    EXPECT_TRUE(s.sent);
}

TEST(FwinfoStampCheck, ImagesOf64KiBAndMoreMatchOverTheirWholeLength)
{
    for (uint32_t len : {0x10000u, 0x1012Cu, 0x20000u}) {
        stamped img(len);
        stamp_facts s = img.check();
        EXPECT_TRUE(s.matches) << len;
        EXPECT_TRUE(s.wrapped) << len;
        EXPECT_EQ(s.length, len & 0xFFFC) << len;
        EXPECT_EQ(s.covered_length, len) << len;
        EXPECT_EQ(s.computed_sum, s.sum) << len;
    }
}

TEST(FwinfoStampCheck, ADamagedByteIsNoWrappedLength)
{
    stamped img(0x1012C);
    img.fw[0x10100] ^= 0x01;
    stamp_facts s = img.check();
    EXPECT_FALSE(s.matches);
    EXPECT_FALSE(s.wrapped);
    EXPECT_EQ(s.covered_length, 0u);
    EXPECT_EQ(s.computed_sum, flash_word_sum(img.fw.data(), 0x12C));
}

TEST(FwinfoStampCheck, EmptyFlashMatchesOverLengthZero)
{
    stamped img(0);
    stamp_facts s = img.check();
    EXPECT_TRUE(s.matches);
    EXPECT_FALSE(s.wrapped);
    EXPECT_EQ(s.covered_length, 0u);
}

TEST(FwinfoStampCheck, BlockZeroNotSentMeansTheStampStaysBehind)
{
    stamped img(0x100);
    img.eep_map[0] = 0;
    stamp_facts s = img.check();
    EXPECT_TRUE(s.matches);
    EXPECT_FALSE(s.sent);
}

TEST(FwinfoLineTime, CountsEveryExchangeAtTenBitTimesAByte)
{
    EXPECT_EQ(update_line_bytes(0), 16u + 32u + 16u);
    EXPECT_EQ(update_line_bytes(2), 16u + 32u + 2 * 272u + 16u);
    EXPECT_EQ(line_time_ms(1152, 9600), 1200u);
    EXPECT_EQ(line_time_ms(1696, 19200), 883u); // 883.33 rounds down
    EXPECT_EQ(line_time_ms(880, 57600), 153u);  // 152.78 rounds up
}

TEST(FwinfoLineTime, RatesAreTheUpdatersTable)
{
    long rates[MAX_BAUD_RATES];
    std::size_t n = updater_baud_rates(rates, MAX_BAUD_RATES);
    EXPECT_EQ(std::vector<long>(rates, rates + n),
              (std::vector<long>{9600, 19200, 38400, 57600, 115200}));
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_NE(baud_to_speed(rates[i]), 0u);
}

TEST(FwinfoHardwareId, ComparedAsStringsOfAtMostEightCharacters)
{
    struct id_case {
        const char *label;
        std::string firmware; // the 8 bytes of the record
        const char *expected;
        bool matches;
    };
    const id_case cases[] = {
        {"same eight", "OKT32-BB", "OKT32-BB", true},
        {"last differs", "OKT32-BB", "OKT32-BC", false},
        {"prefix", "OKT32-BB", "OKT32", false},
        {"empty text", "OKT32-BB", "", false},
        {"zero ends both", std::string("OKT\0junk", 8), "OKT", true},
        {"zero in firmware only", std::string("OKT\0junk", 8), "OKT-junk", false},
        {"empty id", std::string(8, '\0'), "", true},
        {"erased", std::string(8, '\xFF'), "OKT32-BB", false},
        {"erased spelled out", std::string(8, '\xFF'), "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", true},
    };
    for (const id_case &c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(hardware_id_matches(reinterpret_cast<const unsigned char *>(c.firmware.data()),
                                      c.expected),
                  c.matches);
    }
}

} // namespace
