// Loading the firmware an update sends: one PACK file, or a flash and an EEPROM HEX file. Each
// path prints its own messages and returns 0 or the code the updater exits with.
#pragma once

#include "owners.h"
#include "pack.h"

#include <cstdint>

// The four buffers the loaders hand over: the flash image (0x20000 bytes), the EEPROM image
// (4096 bytes) and their block maps (512 and 16 entries). Empty until loading succeeded.
struct firmware_images {
    byte_buffer fw_image;
    byte_buffer eep_image;
    byte_buffer fw_map;
    byte_buffer eep_map;
};

enum load_result {
    LOAD_OK = 0,
    LOAD_PACK_OPEN_FAILED = 3, // "file open/stat/read error %s\n"
    LOAD_PACK_SHORT_HEAD = 10, // "cannot read pack head"
};

// Opens the PACK file, reads its 32-byte head and hands both to pack_read. Returns 0,
// a load_result, or pack_read's result. *head is filled once the head was read; when `file` is
// given it receives the open descriptor (whatever the result, once the open succeeded), else the
// file is closed before returning.
int load_pack_file(const char *path, firmware_images *fw, pack_head *head, unique_fd *file);

// load_firmware_pair over the two files; 0 or its result. fw_len and eep_len may be null.
int load_hex_files(const char *data_path, const char *eep_path, firmware_images *fw,
                   uint32_t *fw_len, uint32_t *eep_len);
