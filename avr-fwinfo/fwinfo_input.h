// Loading the firmware to inspect, through the updater's own loaders: a PACK file the way the
// update driver reads it, or a pair of HEX files the way it loads them. Each input is read once.
#pragma once

#include "firmware_image.h"
#include "pack_format.h"

#include <cstdint>
#include <cstdio>

enum input_kind { INPUT_PACK, INPUT_HEX_PAIR };

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
    firmware_bundle images; // what an update would send; empty until loading succeeded
};

// Loads the PACK file as the updater does, with the checksums of both stored payloads. Returns 0,
// or the status the updater ends with for this file (exit_status.h) after the loader's message.
// The loader's messages go to `msgs`.
int load_pack_input(const char *path, fw_input *in, FILE *msgs);

// Loads the two HEX files as the updater does; returns 0, or the status the updater ends with for
// them (exit_status.h) after the loader's message to `msgs`.
int load_hex_input(const char *flash_path, const char *eep_path, fw_input *in, FILE *msgs);
