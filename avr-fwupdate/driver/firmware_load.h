// Loading the firmware an update sends: one PACK file, or a flash and an EEPROM HEX file. Each
// path prints its own messages and returns 0 or the code the updater exits with.
#pragma once

#include "firmware_image.h"
#include "owners.h"
#include "pack.h"

#include <cstdint>

enum load_result {
    LOAD_OK = 0,
    LOAD_PACK_OPEN_FAILED = 3, // "file open/stat/read error %s\n"
    LOAD_PACK_SHORT_HEAD = 10, // "cannot read pack head"
};

// Opens the PACK file, reads its 32-byte head and hands both to pack_read. Returns 0,
// a load_result, or pack_read's result. *head is filled once the head was read; when `file` is
// given it receives the open descriptor (whatever the result, once the open succeeded), else the
// file is closed before returning.
int load_pack_file(const char *path, firmware_bundle *fw, pack_head *head, unique_fd *file);
