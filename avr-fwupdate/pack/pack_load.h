// Loading an update's firmware from a PACK file named on the command line: the file opened, its
// head read, its payloads read once and decoded. Prints its own messages and returns 0 or the
// code the updater exits with.
#pragma once

#include "firmware_image.h"
#include "pack_decode.h"
#include "pack_format.h"

#include <cstdio>

enum load_result {
    LOAD_OK = 0,
    LOAD_PACK_OPEN_FAILED = 3, // "file open/stat/read error %s\n"
    LOAD_PACK_SHORT_HEAD = 10, // "cannot read pack head"
};

// What the loading learned of the file besides the firmware.
struct pack_file_info {
    bool head_read; // `head` holds the file's head
    pack_head head;
    pack_sums sums; // of the payloads decoded, see pack_decode
};

// Opens the PACK file, reads its 32-byte head with one read and hands the rest to
// pack_read_bundle. Returns 0, a load_result, or pack_read's result. The file is closed before
// returning. Messages go to `msgs`.
int load_pack_file(const char *path, firmware_bundle *fw, pack_file_info *info,
                   FILE *msgs = stdout);
