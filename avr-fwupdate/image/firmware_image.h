// The firmware an update sends: an image of each AVR memory, made of whole 256-byte blocks, with
// a block map (one byte a block, non-zero = send this block) and the length its input fills.
#pragma once

#include "owners.h"

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

// The loaded firmware, owned from loading to the end of the run. Empty until a loader filled it.
struct firmware_bundle {
    byte_buffer fw_image;  // FW_IMAGE_SIZE bytes
    byte_buffer eep_image; // EEP_IMAGE_SIZE bytes
    byte_buffer fw_map;    // FW_BLOCK_COUNT entries
    byte_buffer eep_map;   // EEP_BLOCK_COUNT entries
    uint32_t fw_len = 0;   // bytes of the flash image the input fills
    uint32_t eep_len = 0;  // bytes of the EEPROM image the input fills
};

// Takes one memory's image and block map (malloc'ed) and its length into the bundle, releasing
// what the bundle held for that memory.
void firmware_take(firmware_bundle *fw, avr_memory memory, unsigned char *image,
                   unsigned char *block_map, uint32_t len);

// Hands one memory's image and block map to the caller, who releases them with free; the bundle
// keeps the length and no longer owns them.
void firmware_release(firmware_bundle *fw, avr_memory memory, unsigned char **image,
                      unsigned char **block_map);
