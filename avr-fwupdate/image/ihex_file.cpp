#include "ihex_file.h"

#include "fw_stamp.h"
#include "ihex_parse.h"
#include "owners.h"
#include "whole_file.h"

#include <cstdint>
#include <fcntl.h>

namespace
{

// Prints why one file of the pair failed. The flash file's open/stat/read message numbers the step
// that failed (1 open, 2 status, 3 read), the EEPROM file's does not.
void report_load_failure(ihex_load_result result, const char *path, bool numbered, FILE *msgs)
{
    int step = 0;
    switch (result) {
    case IHEX_LOAD_OK:
        return;
    case IHEX_LOAD_OPEN_FAILED:
        step = 1;
        break;
    case IHEX_LOAD_STAT_FAILED:
        step = 2;
        break;
    case IHEX_LOAD_SHORT_READ:
        step = 3;
        break;
    case IHEX_LOAD_PARSE_ERROR:
        fprintf(msgs, "HEX parser error in file '%s'\n", path);
        return;
    case IHEX_LOAD_NO_MEM_TEXT:
    case IHEX_LOAD_NO_MEM_IMAGE:
    case IHEX_LOAD_NO_MEM_MAP:
        fputs("memory allocation failures\n", msgs);
        return;
    }
    if (numbered)
        fprintf(msgs, "file open/stat/read error in '%s' %d\n", path, step);
    else
        fprintf(msgs, "file open/stat/read error in '%s'\n", path);
}

// One file of the pair into its half of *fw; the message on failure.
ihex_load_result load_half(const char *path, avr_memory memory, firmware_bundle *fw, FILE *msgs)
{
    const bool flash = memory == AVR_FLASH;
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end = 0;
    const ihex_load_result rc =
        ihex_load_file(path, &image, &map, flash ? FW_IMAGE_SIZE : EEP_IMAGE_SIZE,
                       flash ? FW_BLOCK_COUNT : EEP_BLOCK_COUNT, &end, msgs);
    if (rc != IHEX_LOAD_OK) {
        report_load_failure(rc, path, flash, msgs);
        return rc;
    }
    firmware_take(fw, memory, image, map, end);
    return IHEX_LOAD_OK;
}

ihex_load_result parse_result(ihex_result rc)
{
    switch (rc) {
    case IHEX_OK:
        return IHEX_LOAD_OK;
    case IHEX_NO_MEM_IMAGE:
        return IHEX_LOAD_NO_MEM_IMAGE;
    case IHEX_NO_MEM_MAP:
        return IHEX_LOAD_NO_MEM_MAP;
    case IHEX_PARSE_ERROR:
        break;
    }
    return IHEX_LOAD_PARSE_ERROR;
}

} // namespace

ihex_load_result ihex_load_file(const char *path, unsigned char **image, unsigned char **block_map,
                                std::size_t image_size, std::size_t block_count, uint32_t *end_addr,
                                FILE *msgs)
{
    unique_fd fd(open(path, O_RDONLY));
    if (fd.get() < 0) {
        fprintf(msgs, "cannot open firmware file '%s'\n", path);
        return IHEX_LOAD_OPEN_FAILED;
    }
    file_bytes text;
    switch (read_whole_file(fd.get(), MEASURE_BY_STATUS, SIZE_MAX, &text)) {
    case WHOLE_FILE_OK:
        break;
    case WHOLE_FILE_NO_SIZE:
        return IHEX_LOAD_STAT_FAILED;
    case WHOLE_FILE_TOO_LARGE:
    case WHOLE_FILE_NO_MEMORY:
        return IHEX_LOAD_NO_MEM_TEXT;
    case WHOLE_FILE_SHORT:
        return IHEX_LOAD_SHORT_READ;
    }
    fd.reset();
    return parse_result(ihex_parse(reinterpret_cast<const char *>(text.bytes.get()), text.len,
                                   image, block_map, image_size, block_count, end_addr, msgs));
}

ihex_load_result load_firmware_bundle(const char *data_path, const char *eep_path,
                                      firmware_bundle *fw, FILE *msgs)
{
    firmware_bundle loaded;
    ihex_load_result rc = load_half(data_path, AVR_FLASH, &loaded, msgs);
    if (rc == IHEX_LOAD_OK)
        rc = load_half(eep_path, AVR_EEPROM, &loaded, msgs);
    if (rc != IHEX_LOAD_OK)
        return rc;
    stamp_fw_checksum(loaded.eep_image.get(), loaded.fw_image.get(), loaded.fw_len);
    *fw = std::move(loaded);
    return IHEX_LOAD_OK;
}

ihex_load_result load_firmware_pair(const char *data_path, const char *eep_path,
                                    unsigned char **fw_image, unsigned char **eep_image,
                                    unsigned char **fw_map, unsigned char **eep_map,
                                    uint32_t *fw_len, uint32_t *eep_len)
{
    firmware_bundle fw;
    const ihex_load_result rc = load_firmware_bundle(data_path, eep_path, &fw);
    if (rc != IHEX_LOAD_OK)
        return rc;
    firmware_release(&fw, AVR_FLASH, fw_image, fw_map);
    firmware_release(&fw, AVR_EEPROM, eep_image, eep_map);
    if (fw_len)
        *fw_len = fw.fw_len;
    if (eep_len)
        *eep_len = fw.eep_len;
    return IHEX_LOAD_OK;
}
