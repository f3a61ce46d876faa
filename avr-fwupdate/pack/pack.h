// PACK containers: a 32-byte head (eight little-endian 32-bit words), the EEPROM payload, then the
// flash payload. Version 1 stores both HEX texts, version 2 the binary images, version 3 the binary
// EEPROM image and the bzip2-compressed flash image.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t PACK_MAGIC = 0xF37AB00B;
constexpr std::size_t PACK_HEAD_SIZE = 32; // bytes in the file
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

// Packers: build a PACK file from a flash data HEX file and an EEPROM HEX file.
// 0 success; -1 output cannot be opened; -2 input/loading failure; -3 V1 data file cannot be
// opened; -4 V1 no memory or short read; -5 V3 compression failed; -6 V3 no memory for the
// compression buffer; -7 a write of the head or a payload fell short or failed. An output path
// that is a symbolic link stays one: the file it leads to is replaced.
int pack_write_v1(const char *out_path, const char *data_path, const char *eep_path);
int pack_write_v2(const char *out_path, const char *data_path, const char *eep_path);
int pack_write_v3(const char *out_path, const char *data_path, const char *eep_path);

// Reads the payloads that follow `head` from fd (standing right after the head) into full-size
// images (0x20000 / 4096 bytes) and block maps (512 / 16 entries). On 0 the caller owns all four
// (release with free); on failure nothing stays allocated. Payload sizes from the head are checked
// before anything is allocated for them, also when fd is a pipe. Results: 1 allocation failure or
// short payload, 2 EEPROM checksum, 3 EEPROM map allocation, decompression failure or a stream
// that is not fw_raw_size long, 4 payload larger than a valid one can be, 5-7 version-1 HEX parse
// results, 11 bad magic, 12 unknown version, 13 version 0.
int pack_read(int fd, const pack_head *head, unsigned char **fw_image, unsigned char **eep_image,
              unsigned char **fw_map, unsigned char **eep_map);

// bzip2's internal-error hook: prints the error and ends the process with _exit(errcode).
extern "C" void bz_internal_error(int errcode);
