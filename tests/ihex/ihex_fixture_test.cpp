// Images of real toolchain output (tests/fixtures/avr, remade by make-fixtures.sh): every HEX
// variant must load to exactly the image srec_cat makes of it.
#include "fw_stamp.h"
#include "ihex_file.h"
#include "ihex_parse.h"

#include "firmware_image.h"
#include "run_program.h"
#include "capture_stdout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

std::string fixture(const std::string &name)
{
    return source_path("tests/fixtures/avr/" + name);
}

std::vector<unsigned char> read_binary(const std::string &name)
{
    std::string bytes = read_file(fixture(name));
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// The records of these files are contiguous runs, so a block is flagged exactly when srec_cat's
// image holds a non-0xFF byte in it, and end_addr is one past the last such byte.
std::vector<unsigned char> blocks_with_data(const std::vector<unsigned char> &image)
{
    std::vector<unsigned char> map(image.size() / AVR_BLOCK_SIZE, 0);
    for (std::size_t i = 0; i < image.size(); ++i)
        if (image[i] != 0xFF)
            map[i / AVR_BLOCK_SIZE] = 1;
    return map;
}

uint32_t end_of_data(const std::vector<unsigned char> &image)
{
    std::size_t end = image.size();
    while (end > 0 && image[end - 1] == 0xFF)
        --end;
    return static_cast<uint32_t>(end);
}

struct variant {
    const char *file;
    const char *binary;
    std::size_t image_size;
    std::size_t block_count;
};

const variant variants[] = {
    {"flash.hex", "flash.bin", FW_IMAGE_SIZE, FW_BLOCK_COUNT},
    {"flash-linear16.hex", "flash.bin", FW_IMAGE_SIZE, FW_BLOCK_COUNT},
    {"flash-linear32.hex", "flash.bin", FW_IMAGE_SIZE, FW_BLOCK_COUNT},
    {"flash-segment32.hex", "flash.bin", FW_IMAGE_SIZE, FW_BLOCK_COUNT},
    {"eeprom.hex", "eeprom.bin", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT},
    {"eeprom-linear32.hex", "eeprom.bin", EEP_IMAGE_SIZE, EEP_BLOCK_COUNT},
};

void PrintTo(const variant &v, std::ostream *os)
{
    *os << v.file;
}

class toolchain_file : public ::testing::TestWithParam<variant>
{
};

TEST_P(toolchain_file, loads_to_the_srec_cat_image)
{
    const variant &v = GetParam();
    const std::vector<unsigned char> expected = read_binary(v.binary);
    ASSERT_EQ(expected.size(), v.image_size);

    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end = 0;
    int rc = -1;
    std::string out = stdout_of([&] {
        rc = ihex_load_file(fixture(v.file).c_str(), &image, &map, v.image_size, v.block_count,
                            &end);
    });
    ASSERT_EQ(rc, IHEX_LOAD_OK) << out;
    EXPECT_EQ(out, "");
    std::vector<unsigned char> got(image, image + v.image_size);
    std::vector<unsigned char> got_map(map, map + v.block_count);
    free(image);
    free(map);

    std::size_t first_diff = 0;
    while (first_diff < got.size() && got[first_diff] == expected[first_diff])
        ++first_diff;
    EXPECT_EQ(first_diff, got.size()) << "images differ first at 0x" << std::hex << first_diff;
    EXPECT_TRUE(got_map == blocks_with_data(expected));
    EXPECT_EQ(end, end_of_data(expected));
}

INSTANTIATE_TEST_SUITE_P(ihex, toolchain_file, ::testing::ValuesIn(variants), [](const auto &tpi) {
    std::string name = tpi.param.file;
    for (char &c : name)
        if (c == '-' || c == '.')
            c = '_';
    return name;
});

// The flash variants paired with the EEPROM file: the images handed out are srec_cat's, with the
// flash word sum and length stamped into EEPROM bytes 16-23.
class toolchain_pair : public ::testing::TestWithParam<const char *>
{
};

TEST_P(toolchain_pair, loads_and_stamps)
{
    const std::vector<unsigned char> flash = read_binary("flash.bin");
    const std::vector<unsigned char> eeprom = read_binary("eeprom.bin");

    unsigned char *fw = nullptr;
    unsigned char *eep = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
    uint32_t fw_len = 0;
    uint32_t eep_len = 0;
    int rc = -1;
    std::string out = stdout_of([&] {
        rc = load_firmware_pair(fixture(GetParam()).c_str(), fixture("eeprom.hex").c_str(), &fw,
                                &eep, &fw_map, &eep_map, &fw_len, &eep_len);
    });
    ASSERT_EQ(rc, IHEX_LOAD_OK) << out;
    EXPECT_EQ(out, "");
    std::vector<unsigned char> got_fw(fw, fw + FW_IMAGE_SIZE);
    std::vector<unsigned char> got_eep(eep, eep + EEP_IMAGE_SIZE);
    std::vector<unsigned char> got_eep_map(eep_map, eep_map + EEP_BLOCK_COUNT);
    free(fw);
    free(eep);
    free(fw_map);
    free(eep_map);

    EXPECT_TRUE(got_fw == flash);
    EXPECT_EQ(fw_len, end_of_data(flash));
    EXPECT_GT(fw_len, 0x10000u); // the far table lies above 64 KiB
    EXPECT_EQ(eep_len, end_of_data(eeprom));

    // The identification record the firmware declares at EEPROM offset 0.
    const unsigned char ident[FW_IDENT_SIZE] = {'B', 1,   0,   3,   25,  6,   14,  0,
                                                'O', 'K', 'T', '3', '2', '-', 'B', 'B'};
    EXPECT_EQ(0, memcmp(got_eep.data(), ident, FW_IDENT_SIZE));

    uint32_t sum = 0;
    for (uint32_t i = 0; i + 4 <= fw_len; i += 4)
        sum += flash[i] | flash[i + 1] << 8 | flash[i + 2] << 16 |
               static_cast<uint32_t>(flash[i + 3]) << 24;
    const unsigned char stamp[FW_STAMP_SIZE] = {static_cast<unsigned char>(sum >> 24),
                                                static_cast<unsigned char>(sum >> 16),
                                                static_cast<unsigned char>(sum >> 8),
                                                static_cast<unsigned char>(sum),
                                                0,
                                                0,
                                                static_cast<unsigned char>(fw_len & 0xFC),
                                                static_cast<unsigned char>(fw_len >> 8)};
    std::vector<unsigned char> expected_eep = eeprom;
    std::copy(stamp, stamp + FW_STAMP_SIZE, expected_eep.begin() + FW_STAMP_OFFSET);
    EXPECT_TRUE(got_eep == expected_eep);
    EXPECT_TRUE(got_eep_map == blocks_with_data(eeprom));
}

INSTANTIATE_TEST_SUITE_P(ihex, toolchain_pair,
                         ::testing::Values("flash.hex", "flash-linear16.hex", "flash-linear32.hex",
                                           "flash-segment32.hex"),
                         [](const auto &tpi) {
                             std::string name = tpi.param;
                             for (char &c : name)
                                 if (c == '-' || c == '.')
                                     c = '_';
                             return name;
                         });

} // namespace
