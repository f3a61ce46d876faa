// Intel HEX files: one read whole and parsed, and the flash and EEPROM pair of an update loaded
// into a firmware bundle and stamped.
#pragma once

#include "firmware_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum ihex_load_result {
    IHEX_LOAD_OK,
    IHEX_LOAD_OPEN_FAILED,  // the file cannot be opened
    IHEX_LOAD_STAT_FAILED,  // its status (size) cannot be read
    IHEX_LOAD_SHORT_READ,   // fewer bytes could be read than its size
    IHEX_LOAD_NO_MEM_TEXT,  // no memory for its text
    IHEX_LOAD_NO_MEM_IMAGE, // the parser's results (ihex_parse.h)
    IHEX_LOAD_NO_MEM_MAP,
    IHEX_LOAD_PARSE_ERROR,
};

// Reads the whole file at `path` and parses it (only an open failure prints a message here, the
// parser prints its own). Messages go to `msgs`.
ihex_load_result ihex_load_file(const char *path, unsigned char **image, unsigned char **block_map,
                                std::size_t image_size, std::size_t block_count, uint32_t *end_addr,
                                FILE *msgs = stdout);

// Loads the flash data file and the EEPROM file into *fw, prints the failure messages to `msgs`,
// and on success stamps the flash word sum and length into EEPROM bytes 16-23. On failure *fw is
// left as it was.
ihex_load_result load_firmware_bundle(const char *data_path, const char *eep_path,
                                      firmware_bundle *fw, FILE *msgs = stdout);

// load_firmware_bundle with the four buffers handed to the caller (release with free). fw_len
// and eep_len may be null. On failure nothing stays allocated.
ihex_load_result load_firmware_pair(const char *data_path, const char *eep_path,
                                    unsigned char **fw_image, unsigned char **eep_image,
                                    unsigned char **fw_map, unsigned char **eep_map,
                                    uint32_t *fw_len, uint32_t *eep_len);
