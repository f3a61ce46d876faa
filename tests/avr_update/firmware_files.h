// Firmware for the system tests: flash and EEPROM images with chosen 256-byte blocks filled,
// written as Intel HEX files the updater loads, and the images as the updater will send them.
#pragma once

#include <string>
#include <vector>

constexpr int BLOCK_BYTES = 256;
constexpr int FLASH_BYTES = 0x20000;
constexpr int EEPROM_BYTES = 4096;

struct test_firmware {
    std::vector<unsigned char> flash;  // 0xFF where no block is filled
    std::vector<unsigned char> eeprom; // ident in bytes 0-15, flash stamp in 16-23
    std::vector<int> flash_blocks;     // ascending
    std::vector<int> eeprom_blocks;    // ascending, always holds block 0 (the ident)
    std::string flash_path;
    std::string eeprom_path;
};

// Fills the given blocks with a pattern that differs per block and position, puts `ident` (16
// bytes) at the start of the EEPROM, stamps the flash word sum and length into EEPROM bytes 16-23
// as the loader does, and writes both HEX files into `dir`.
test_firmware make_firmware(const std::string &dir, const std::vector<int> &flash_blocks,
                            const std::vector<int> &eeprom_blocks, const unsigned char *ident);
