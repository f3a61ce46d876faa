// PACK containers: a 32-byte head (eight little-endian 32-bit words), the EEPROM payload, then the
// flash payload. Version 1 stores both HEX texts, version 2 the binary images, version 3 the binary
// EEPROM image and the bzip2-compressed flash image.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t PACK_MAGIC = 0xF37AB00B;

// Container versions as the head's `version` holds them.
constexpr uint32_t PACK_VERSION_BROKEN = 0; // an early format that never worked: refused
constexpr uint32_t PACK_VERSION_HEX = 1;    // both HEX texts as they are
constexpr uint32_t PACK_VERSION_BINARY = 2; // both binary images
constexpr uint32_t PACK_VERSION_BZIP2 = 3;  // the binary EEPROM image, the flash image in bzip2
constexpr std::size_t PACK_HEAD_SIZE = 32;  // bytes in the file
constexpr uint32_t PACK_CHECKSUM_SEED = 0xAFFE4711;

struct pack_head {
    uint32_t magic;
    uint32_t version;
    uint32_t eep_size;    // bytes of EEPROM payload
    uint32_t fw_size;     // bytes of flash payload as stored (compressed in version 3)
    uint32_t eep_cksum;   // pack_checksum over the stored EEPROM payload
    uint32_t fw_cksum;    // pack_checksum over the stored flash payload
    uint32_t fw_raw_size; // version 3: uncompressed flash length; else 0
    uint32_t reserved;
};

// Head to and from its file bytes, little-endian whatever the host's order.
void pack_head_encode(const pack_head *head, unsigned char bytes[PACK_HEAD_SIZE]);
void pack_head_decode(const unsigned char bytes[PACK_HEAD_SIZE], pack_head *head);

// Shift-and-XOR checksum seeded 0xAFFE4711; each byte is widened as a signed 8-bit value.
uint32_t pack_checksum(const unsigned char *data, std::size_t len);
