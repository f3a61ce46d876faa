#include "firmware_files.h"

#include "run_program.h"

#include <cstdint>
#include <cstdio>

namespace
{
constexpr int RECORD_BYTES = 16;

std::string record(int type, unsigned address, const unsigned char *data, int len)
{
    char buf[16];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(len) + (address >> 8) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    snprintf(buf, sizeof buf, "%02X%04X%02X", len, address & 0xFFFF, type);
    line += buf;
    for (int i = 0; i < len; ++i) {
        snprintf(buf, sizeof buf, "%02X", data[i]);
        line += buf;
        sum += data[i];
    }
    snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

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
} // namespace

std::string hex_text(const std::vector<unsigned char> &image, const std::vector<int> &blocks)
{
    std::string text;
    unsigned upper = 0;
    for (int b : blocks) {
        for (int off = 0; off < BLOCK_BYTES; off += RECORD_BYTES) {
            unsigned address = static_cast<unsigned>(b * BLOCK_BYTES + off);
            if (address >> 16 != upper) {
                upper = address >> 16;
                unsigned char base[2] = {static_cast<unsigned char>(upper >> 8),
                                         static_cast<unsigned char>(upper)};
                text += record(4, 0, base, 2);
            }
            text += record(0, address, image.data() + address, RECORD_BYTES);
        }
    }
    return text + record(1, 0, nullptr, 0);
}

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
    write_file(fw.flash_path, hex_text(fw.flash, flash_blocks));
    write_file(fw.eeprom_path, hex_text(fw.eeprom, eeprom_blocks));
    uint32_t fw_len = flash_blocks.empty() ? 0 : (flash_blocks.back() + 1) * BLOCK_BYTES;
    stamp(fw.eeprom, fw.flash, fw_len);
    return fw;
}
