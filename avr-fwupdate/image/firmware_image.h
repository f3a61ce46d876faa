// Sizes of the AVR's memories as the updater sends them: images of whole 256-byte blocks, each
// with a block map (one byte a block, non-zero = send this block).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t AVR_BLOCK_SIZE = 256; // bytes, flash and EEPROM alike
constexpr std::size_t FW_IMAGE_SIZE = 0x20000;
constexpr std::size_t FW_BLOCK_COUNT = FW_IMAGE_SIZE / AVR_BLOCK_SIZE; // 512
constexpr std::size_t EEP_IMAGE_SIZE = 4096;
constexpr std::size_t EEP_BLOCK_COUNT = EEP_IMAGE_SIZE / AVR_BLOCK_SIZE; // 16

enum avr_memory { AVR_FLASH, AVR_EEPROM };

// The 16-byte identification record at EEPROM offset 0, also in the AVR's version answer: a
// letter, three digits, year, month and day, one byte not interpreted, the hardware id.
constexpr std::size_t FW_IDENT_SIZE = 16;
constexpr std::size_t HARDWARE_ID_OFFSET = 8; // in the record
constexpr std::size_t HARDWARE_ID_LEN = 8;    // bytes, no terminator required

constexpr std::size_t FW_STAMP_OFFSET = 16; // flash word sum and length, EEPROM bytes 16-23
constexpr std::size_t FW_STAMP_SIZE = 8;
