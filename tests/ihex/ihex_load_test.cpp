// Loading HEX files and the flash/EEPROM pair: result codes, the messages of each file, and the
// flash sum and length stamped into the EEPROM image.
#include "fw_stamp.h"
#include "ihex_file.h"
#include "ihex_parse.h"

#include "firmware_image.h"
#include "run_program.h"
#include "capture_stdout.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Allocation failures are provoked on purpose below; under AddressSanitizer malloc must then
// return null as it does in production instead of stopping the test.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace
{

// An allocation no process can get: beyond the address space, yet not a negative-looking size
// on 64-bit hosts (memory checkers flag those).
constexpr std::size_t IMPOSSIBLE_SIZE = sizeof(std::size_t) > 4 ? SIZE_MAX / 2 : SIZE_MAX;

const std::string good_flash = ":0100000055AA\n:00000001FF\n";
const std::string good_eeprom = ":0100000042BD\n:00000001FF\n";

// ---------------------------------------------------------------------------------------------
// ihex_load_file

struct loaded {
    int rc = -1;
    std::string out;
    bool outputs_untouched = true;
};

loaded load_file(const std::string &path, std::size_t image_size, std::size_t block_count)
{
    loaded l;
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end = 0;
    l.out = stdout_of(
        [&] { l.rc = ihex_load_file(path.c_str(), &image, &map, image_size, block_count, &end); });
    l.outputs_untouched = image == nullptr && map == nullptr;
    free(image);
    free(map);
    return l;
}

// A file far larger than memory without using disk space; false where the host cannot make one
// or would hand out the memory anyway (overcommit always on).
bool make_huge_sparse_file(const std::string &path)
{
    std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
    int mode = -1;
    if (!(overcommit >> mode) || mode == 1)
        return false;
    write_file(path, "");
    return truncate(path.c_str(), static_cast<off_t>(1) << 40) == 0; // 1 TiB
}

TEST(ihex_load_file, reads_and_parses_a_file)
{
    temp_dir dir;
    write_file(dir.file("f.hex"), good_flash);
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end = 0;
    ASSERT_EQ(ihex_load_file(dir.file("f.hex").c_str(), &image, &map, EEP_IMAGE_SIZE,
                             EEP_BLOCK_COUNT, &end),
              IHEX_LOAD_OK);
    EXPECT_EQ(image[0], 0x55);
    EXPECT_EQ(image[1], 0xFF);
    EXPECT_EQ(map[0], 1);
    EXPECT_EQ(end, 1u);
    free(image);
    free(map);
}

TEST(ihex_load_file, result_codes)
{
    temp_dir dir;
    const std::string missing = dir.file("missing.hex");
    loaded l = load_file(missing, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT);
    EXPECT_EQ(l.rc, IHEX_LOAD_OPEN_FAILED);
    EXPECT_EQ(l.out, "cannot open firmware file '" + missing + "'\n");
    EXPECT_TRUE(l.outputs_untouched);

    // A directory opens and has a size, but reading it fails.
    l = load_file(dir.path, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT);
    EXPECT_EQ(l.rc, IHEX_LOAD_SHORT_READ);
    EXPECT_EQ(l.out, "");
    EXPECT_TRUE(l.outputs_untouched);

    write_file(dir.file("f.hex"), good_flash);
    l = load_file(dir.file("f.hex"), IMPOSSIBLE_SIZE, EEP_BLOCK_COUNT);
    EXPECT_EQ(l.rc, IHEX_LOAD_NO_MEM_IMAGE);
    EXPECT_EQ(l.out, "");
    EXPECT_TRUE(l.outputs_untouched);

    l = load_file(dir.file("f.hex"), EEP_IMAGE_SIZE, IMPOSSIBLE_SIZE);
    EXPECT_EQ(l.rc, IHEX_LOAD_NO_MEM_MAP);
    EXPECT_EQ(l.out, "");
    EXPECT_TRUE(l.outputs_untouched);

    write_file(dir.file("bad.hex"), ":0100000055AB\n:00000001FF\n");
    l = load_file(dir.file("bad.hex"), EEP_IMAGE_SIZE, EEP_BLOCK_COUNT);
    EXPECT_EQ(l.rc, IHEX_LOAD_PARSE_ERROR);
    EXPECT_EQ(l.out, "HEX: record checksum mismatch at 11\n");
    EXPECT_TRUE(l.outputs_untouched);

    write_file(dir.file("empty.hex"), "");
    l = load_file(dir.file("empty.hex"), EEP_IMAGE_SIZE, EEP_BLOCK_COUNT);
    EXPECT_EQ(l.rc, IHEX_LOAD_PARSE_ERROR);
    EXPECT_EQ(l.out, "HEX: end of text at 0 without end-of-file record\n");
}

TEST(ihex_load_file, no_memory_for_the_text)
{
    temp_dir dir;
    if (!make_huge_sparse_file(dir.file("huge.hex")))
        GTEST_SKIP() << "no way to make a file larger than memory here";
    loaded l = load_file(dir.file("huge.hex"), EEP_IMAGE_SIZE, EEP_BLOCK_COUNT);
    EXPECT_EQ(l.rc, IHEX_LOAD_NO_MEM_TEXT);
    EXPECT_EQ(l.out, "");
    EXPECT_TRUE(l.outputs_untouched);
}

// ---------------------------------------------------------------------------------------------
// load_firmware_pair

struct pair_result {
    int rc = -1;
    std::string out;
    unsigned char *fw = nullptr;
    unsigned char *eep = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
    uint32_t fw_len = END_SENTINEL;
    uint32_t eep_len = END_SENTINEL;
    static constexpr uint32_t END_SENTINEL = 0xDEADBEEF;

    pair_result() = default;
    pair_result(const pair_result &) = delete;
    pair_result &operator=(const pair_result &) = delete;
    ~pair_result()
    {
        free(fw);
        free(eep);
        free(fw_map);
        free(eep_map);
    }
    bool untouched() const
    {
        return !fw && !eep && !fw_map && !eep_map && fw_len == END_SENTINEL &&
               eep_len == END_SENTINEL;
    }
};

void load_pair(const std::string &data, const std::string &eep, pair_result *r)
{
    r->out = stdout_of([&] {
        r->rc = load_firmware_pair(data.c_str(), eep.c_str(), &r->fw, &r->eep, &r->fw_map,
                                   &r->eep_map, &r->fw_len, &r->eep_len);
    });
}

class firmware_pair : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        write_file(flash, good_flash);
        write_file(eeprom, good_eeprom);
        write_file(bad, ":0100000055AA\n:010000");
        write_file(only_eof, ":00000001FF\n");
    }
    temp_dir dir;
    const std::string flash = dir.file("flash.hex");
    const std::string eeprom = dir.file("eeprom.hex");
    const std::string bad = dir.file("bad.hex");
    const std::string only_eof = dir.file("only-eof.hex");
    const std::string missing = dir.file("missing.hex");
};

TEST_F(firmware_pair, loads_both_and_stamps_the_eeprom)
{
    pair_result r;
    load_pair(flash, eeprom, &r);
    ASSERT_EQ(r.rc, IHEX_LOAD_OK) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.fw_len, 1u);
    EXPECT_EQ(r.eep_len, 1u);
    EXPECT_EQ(r.fw[0], 0x55);
    EXPECT_EQ(r.eep[0], 0x42);
    EXPECT_EQ(r.fw_map[0], 1);
    EXPECT_EQ(r.eep_map[0], 1);
    // fw_len 1 holds no whole word: sum 0, length bits 0-1 cleared.
    const unsigned char stamp[FW_STAMP_SIZE] = {0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(r.eep + FW_STAMP_OFFSET, stamp, sizeof stamp));
    EXPECT_EQ(r.eep[FW_STAMP_OFFSET + FW_STAMP_SIZE], 0xFF);
}

TEST_F(firmware_pair, either_file_failing_leaves_every_output_untouched)
{
    // Only the flash file's open/stat/read message carries the result number.
    enum failing { FLASH, EEPROM };
    struct failure {
        failing file; // the other one is good
        std::string path;
        int rc;
        std::string out;
    };
    const failure cases[] = {
        {FLASH, missing, IHEX_LOAD_OPEN_FAILED,
         "cannot open firmware file '" + missing + "'\nfile open/stat/read error in '" + missing +
             "' 1\n"},
        {FLASH, dir.path, IHEX_LOAD_SHORT_READ,
         "file open/stat/read error in '" + dir.path + "' 3\n"},
        {FLASH, bad, IHEX_LOAD_PARSE_ERROR,
         "HEX: parse error getting 'addr' at 21\nHEX parser error in file '" + bad + "'\n"},
        {FLASH, only_eof, IHEX_LOAD_PARSE_ERROR, "HEX parser error in file '" + only_eof + "'\n"},
        {EEPROM, missing, IHEX_LOAD_OPEN_FAILED,
         "cannot open firmware file '" + missing + "'\nfile open/stat/read error in '" + missing +
             "'\n"},
        {EEPROM, dir.path, IHEX_LOAD_SHORT_READ,
         "file open/stat/read error in '" + dir.path + "'\n"},
        {EEPROM, bad, IHEX_LOAD_PARSE_ERROR,
         "HEX: parse error getting 'addr' at 21\nHEX parser error in file '" + bad + "'\n"},
        {EEPROM, only_eof, IHEX_LOAD_PARSE_ERROR, "HEX parser error in file '" + only_eof + "'\n"},
    };
    for (const failure &c : cases) {
        SCOPED_TRACE((c.file == FLASH ? "flash " : "EEPROM ") + c.path);
        pair_result r;
        load_pair(c.file == FLASH ? c.path : flash, c.file == EEPROM ? c.path : eeprom, &r);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(r.untouched());
    }
}

TEST_F(firmware_pair, text_larger_than_memory)
{
    const std::string huge = dir.file("huge.hex");
    if (!make_huge_sparse_file(huge))
        GTEST_SKIP() << "no way to make a file larger than memory here";
    pair_result as_flash;
    load_pair(huge, eeprom, &as_flash);
    EXPECT_EQ(as_flash.rc, IHEX_LOAD_NO_MEM_TEXT);
    EXPECT_EQ(as_flash.out, "memory allocation failures\n");
    EXPECT_TRUE(as_flash.untouched());

    pair_result as_eeprom;
    load_pair(flash, huge, &as_eeprom);
    EXPECT_EQ(as_eeprom.rc, IHEX_LOAD_NO_MEM_TEXT);
    EXPECT_EQ(as_eeprom.out, "memory allocation failures\n");
    EXPECT_TRUE(as_eeprom.untouched());
}

// ---------------------------------------------------------------------------------------------
// stamp_fw_checksum

struct stamp_case {
    const char *name;
    unsigned char fill; // every flash byte below fw_len / 4 * 4
    uint32_t fw_len;
    unsigned char stamp[FW_STAMP_SIZE];
};

const stamp_case stamp_cases[] = {
    // 0x1F3: 124 words 0x01010101 summed; bytes 0x1F0-0x1F2 (0xEE) stay out.
    {"partial_word_left_out", 0x01, 0x1F3, {0x7C, 0x7C, 0x7C, 0x7C, 0, 0, 0xF0, 0x01}},
    {"below_one_word", 0x01, 3, {0, 0, 0, 0, 0, 0, 0x00, 0x00}},
    {"zero_length", 0x01, 0, {0, 0, 0, 0, 0, 0, 0x00, 0x00}},
    // 0x8000 words 0xFFFFFFFF: the sum wraps to -0x8000; only the low 16 bits of the length fit.
    {"whole_flash_wraps", 0xFF, 0x20000, {0xFF, 0xFF, 0x80, 0x00, 0, 0, 0x00, 0x00}},
    {"length_above_64k", 0x00, 0x10107, {0, 0, 0, 0, 0, 0, 0x04, 0x01}},
};

void PrintTo(const stamp_case &c, std::ostream *os)
{
    *os << c.name;
}

class stamp : public ::testing::TestWithParam<stamp_case>
{
};

TEST_P(stamp, writes_bytes_16_to_23_only)
{
    const stamp_case &c = GetParam();
    std::vector<unsigned char> fw(FW_IMAGE_SIZE, 0xEE);
    std::fill(fw.begin(), fw.begin() + c.fw_len / 4 * 4, c.fill);
    std::vector<unsigned char> eep(EEP_IMAGE_SIZE);
    for (std::size_t i = 0; i < eep.size(); ++i)
        eep[i] = static_cast<unsigned char>(i * 7);
    std::vector<unsigned char> expected = eep;
    std::copy(c.stamp, c.stamp + FW_STAMP_SIZE, expected.begin() + FW_STAMP_OFFSET);

    stamp_fw_checksum(eep.data(), fw.data(), c.fw_len);
    EXPECT_TRUE(eep == expected);
    for (std::size_t i = 0; i < FW_STAMP_SIZE; ++i)
        EXPECT_EQ(eep[FW_STAMP_OFFSET + i], c.stamp[i]) << "byte " << FW_STAMP_OFFSET + i;
}

INSTANTIATE_TEST_SUITE_P(ihex, stamp, ::testing::ValuesIn(stamp_cases),
                         [](const auto &tpi) { return std::string(tpi.param.name); });

TEST(stamp, sum_is_little_endian_words_stored_big_endian)
{
    std::vector<unsigned char> fw(FW_IMAGE_SIZE, 0xFF);
    const unsigned char words[8] = {0x04, 0x03, 0x02, 0x01, 0x10, 0x20, 0x30, 0x40};
    std::copy(words, words + 8, fw.begin()); // 0x01020304 + 0x40302010
    std::vector<unsigned char> eep(EEP_IMAGE_SIZE, 0xFF);
    stamp_fw_checksum(eep.data(), fw.data(), 8);
    const unsigned char expected[FW_STAMP_SIZE] = {0x41, 0x32, 0x23, 0x14, 0, 0, 0x08, 0x00};
    EXPECT_EQ(0, memcmp(eep.data() + FW_STAMP_OFFSET, expected, FW_STAMP_SIZE));
}

} // namespace
