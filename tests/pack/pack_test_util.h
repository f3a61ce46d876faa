// Helpers of the PACK tests: PACK bytes built field by field, and pack_read run over them.
#pragma once

#include "owners.h"
#include "pack.h"

#include <cstdint>
#include <string>

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
