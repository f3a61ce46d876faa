// Loading the firmware to inspect, through the updater's own loaders: a PACK file the way the
// update driver reads it, or a pair of HEX files through load_firmware_pair.
#pragma once

#include "firmware_load.h"
#include "pack.h"

#include <cstdint>

enum input_kind { INPUT_PACK, INPUT_HEX_PAIR };

// Results besides those of the updater's loaders (load_result, pack_read, load_firmware_pair).
enum input_result {
    INPUT_OK = 0,
    INPUT_PAYLOAD_READ = 22, // payloads could not be read again for their checksums
};

// A stored payload and the checksum the head gives for it.
struct payload_check {
    uint32_t stored_size; // bytes in the file
    uint32_t head_cksum;  // as the head says
    uint32_t cksum;       // pack_checksum over the stored bytes
};

struct fw_input {
    input_kind kind;
    const char *pack_path;  // INPUT_PACK
    const char *flash_path; // INPUT_HEX_PAIR
    const char *eep_path;   // INPUT_HEX_PAIR
    bool head_read;         // INPUT_PACK: `head` holds the file's head
    pack_head head;
    payload_check eep_payload; // INPUT_PACK, once loaded
    payload_check fw_payload;
    uint32_t fw_len;        // INPUT_HEX_PAIR: image lengths the HEX files fill
    uint32_t eep_len;       // INPUT_HEX_PAIR
    firmware_bundle images; // what an update would send; empty until loading succeeded
};

// Loads the PACK file as the updater does, then computes the checksums of both stored payloads
// from the same open file. Returns 0, the loader's result (after its message), or one of
// input_result (after its message). The file is closed before returning.
int load_pack_input(const char *path, fw_input *in);

// Runs load_firmware_pair over the two files; returns 0 or its result (after its message).
int load_hex_input(const char *flash_path, const char *eep_path, fw_input *in);
