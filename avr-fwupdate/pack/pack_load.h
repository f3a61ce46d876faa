// Loading an update's firmware from a PACK file named on the command line: the file opened, its
// head read, its payloads read once and decoded. Prints its own messages.
#pragma once

#include "firmware_image.h"
#include "pack_decode.h"
#include "pack_format.h"

#include <cstdio>

enum pack_load_result {
    PACK_LOAD_OK,
    PACK_LOAD_OPEN_FAILED, // the file cannot be opened: "file open/stat/read error %s\n"
    PACK_LOAD_SHORT_HEAD,  // fewer than 32 bytes came with the head's read: "cannot read pack head"
    PACK_LOAD_NOT_DECODED, // pack_read_bundle refused the file: pack_file_info::decoded says why
};

// What the loading learned of the file besides the firmware.
struct pack_file_info {
    bool head_read; // `head` holds the file's head
    pack_head head;
    pack_sums sums;             // of the payloads decoded, see pack_decode
    pack_decode_result decoded; // once the head was read: pack_read_bundle's result
};

// Opens the PACK file, reads its 32-byte head with one read and hands the rest to
// pack_read_bundle. The file is closed before returning. Messages go to `msgs`.
pack_load_result load_pack_file(const char *path, firmware_bundle *fw, pack_file_info *info,
                                FILE *msgs = stdout);
