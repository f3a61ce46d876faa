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

constexpr std::size_t FW_IDENT_SIZE = 16;   // identification record at EEPROM offset 0
constexpr std::size_t FW_STAMP_OFFSET = 16; // flash word sum and length, EEPROM bytes 16-23
constexpr std::size_t FW_STAMP_SIZE = 8;
