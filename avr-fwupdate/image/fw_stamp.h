// The stamp in EEPROM bytes 16-23 that carries the flash image's word sum and length to the AVR
// with the EEPROM contents: the sum most significant byte first, two zero bytes, then the length
// low byte first with its low two bits cleared. Only 16 bits of the length travel.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t FW_STAMP_OFFSET = 16; // in the EEPROM image
constexpr std::size_t FW_STAMP_SIZE = 8;
constexpr uint32_t FW_STAMP_LENGTH_SPAN = 0x10000; // lengths the 16-bit field tells apart

// What a stamp holds.
struct fw_stamp {
    uint32_t sum;    // flash word sum
    uint32_t length; // the flash length's low 16 bits, rounded down to whole words
};

// The sum of the floor(length / 4) 32-bit words at the start of fw_image, each read least
// significant byte first, modulo 2^32. `length` must not exceed the image.
uint32_t flash_word_sum(const unsigned char *fw_image, uint32_t length);

// Writes the stamp of fw_image's first fw_len bytes into eep_image. fw_len must not exceed the
// flash image's size. Touches no other byte and no block map.
void stamp_fw_checksum(unsigned char *eep_image, const unsigned char *fw_image, uint32_t fw_len);

// Reads the stamp back from eep_image.
fw_stamp decode_fw_stamp(const unsigned char *eep_image);
