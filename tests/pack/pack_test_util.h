// Helpers of the PACK tests: PACK bytes built field by field, and pack_read run over them.
#pragma once

#include "owners.h"
#include "pack_format.h"
#include "pack_read.h"

#include <cstdint>
#include <string>
#include <vector>

// A head with the given version and the sizes and checksums of the two payloads.
pack_head head_for(uint32_t version, const std::string &eep, const std::string &fw,
                   uint32_t fw_raw_size = 0);

// The 32 head bytes followed by the payloads.
std::string pack_bytes(const pack_head &head, const std::string &eep, const std::string &fw);

uint32_t checksum_of(const std::string &bytes);

// bzip2 of raw with the settings of version 3, through the library directly.
std::string bz2_of(const std::string &raw);

// What pack_read made of a file: its result, its output and, on success, the four buffers.
struct read_outcome {
    int rc = -1;
    std::string out;
    byte_buffer fw_image;
    byte_buffer eep_image;
    byte_buffer fw_map;
    byte_buffer eep_map;
};

// Puts `file` into a memory file, decodes its first 32 bytes as the head and runs pack_read with
// the descriptor standing after them, as the updater does.
read_outcome read_pack(const std::string &file);

std::string slice(const unsigned char *p, std::size_t n);

// Small HEX texts: an EEPROM with the identification record, and a flash with 0x1F3 bytes over
// two blocks.
std::string eep_hex_text();
std::string flash_hex_text();

// A binary of n bytes with every value, so a misplaced byte shows.
std::string pattern(std::size_t n, unsigned seed = 0);

// One PACK that pack_read must refuse: its bytes, the result and the complete output.
struct read_failure {
    const char *name;
    std::string file;
    int rc;
    std::string out;
};

// Reads each file and expects its result and output, and nothing handed over.
void expect_read_failures(const std::vector<read_failure> &cases);

// The updater's output after its banner and the empty line that follows it.
std::string after_banner(const std::string &out);
