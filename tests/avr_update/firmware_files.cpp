#include "firmware_files.h"

#include "hex_writer.h"
#include "run_program.h"

#include <cstdint>

namespace
{

void stamp(std::vector<unsigned char> &eeprom, const std::vector<unsigned char> &flash,
           uint32_t fw_len)
{
    uint32_t sum = 0;
    for (uint32_t at = 0; at + 4 <= fw_len; at += 4)
        sum += static_cast<uint32_t>(flash[at]) | static_cast<uint32_t>(flash[at + 1]) << 8 |
               static_cast<uint32_t>(flash[at + 2]) << 16 |
               static_cast<uint32_t>(flash[at + 3]) << 24;
    eeprom[16] = static_cast<unsigned char>(sum >> 24);
    eeprom[17] = static_cast<unsigned char>(sum >> 16);
    eeprom[18] = static_cast<unsigned char>(sum >> 8);
    eeprom[19] = static_cast<unsigned char>(sum);
    eeprom[20] = 0;
    eeprom[21] = 0;
    eeprom[22] = static_cast<unsigned char>(fw_len & 0xFC);
    eeprom[23] = static_cast<unsigned char>(fw_len >> 8);
}

// The blocks' bytes in records of 16, with avr-objcopy's CR LF line ends.
std::string blocks_hex(const std::vector<unsigned char> &image, const std::vector<int> &blocks)
{
    std::vector<hex_range> ranges;
    for (int b : blocks)
        ranges.push_back({static_cast<std::size_t>(b) * BLOCK_BYTES, BLOCK_BYTES});
    hex_layout layout;
    layout.line_end = "\r\n";
    return hex_text(image, ranges, layout);
}

} // namespace

test_firmware make_firmware(const std::string &dir, const std::vector<int> &flash_blocks,
                            const std::vector<int> &eeprom_blocks, const unsigned char *ident)
{
    test_firmware fw;
    fw.flash.assign(FLASH_BYTES, 0xFF);
    fw.eeprom.assign(EEPROM_BYTES, 0xFF);
    fw.flash_blocks = flash_blocks;
    fw.eeprom_blocks = eeprom_blocks;
    for (int b : flash_blocks)
        for (int i = 0; i < BLOCK_BYTES; ++i)
            fw.flash[b * BLOCK_BYTES + i] = static_cast<unsigned char>(i * 7 + b * 3);
    for (int b : eeprom_blocks)
        for (int i = 0; i < BLOCK_BYTES; ++i)
            fw.eeprom[b * BLOCK_BYTES + i] = static_cast<unsigned char>(i ^ (b * 16 + 5));
    for (int i = 0; i < 16; ++i)
        fw.eeprom[i] = ident[i];
    fw.flash_path = dir + "/flash.hex";
    fw.eeprom_path = dir + "/eeprom.hex";
    write_file(fw.flash_path, blocks_hex(fw.flash, flash_blocks));
    write_file(fw.eeprom_path, blocks_hex(fw.eeprom, eeprom_blocks));
    uint32_t fw_len = flash_blocks.empty() ? 0 : (flash_blocks.back() + 1) * BLOCK_BYTES;
    stamp(fw.eeprom, fw.flash, fw_len);
    return fw;
}
