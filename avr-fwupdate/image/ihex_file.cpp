#include "ihex_file.h"

#include "fw_stamp.h"
#include "ihex_parse.h"
#include "owners.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Prints why one file of the pair failed. The flash file's open/stat/read message carries the
// result number, the EEPROM file's does not.
void report_load_failure(int result, const char *path, bool with_code, FILE *msgs)
{
    switch (static_cast<ihex_result>(result)) {
    case IHEX_OK:
        break;
    case IHEX_OPEN_FAILED:
    case IHEX_STAT_FAILED:
    case IHEX_SHORT_READ:
        if (with_code)
            fprintf(msgs, "file open/stat/read error in '%s' %d\n", path, result);
        else
            fprintf(msgs, "file open/stat/read error in '%s'\n", path);
        break;
    case IHEX_PARSE_ERROR:
        fprintf(msgs, "HEX parser error in file '%s'\n", path);
        break;
    case IHEX_NO_MEM_TEXT:
    case IHEX_NO_MEM_IMAGE:
    case IHEX_NO_MEM_MAP:
        fputs("memory allocation failures\n", msgs);
        break;
    }
}

// One file of the pair into its half of *fw; the message on failure.
int load_half(const char *path, avr_memory memory, firmware_bundle *fw, FILE *msgs)
{
    const bool flash = memory == AVR_FLASH;
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end = 0;
    int rc = ihex_load_file(path, &image, &map, flash ? FW_IMAGE_SIZE : EEP_IMAGE_SIZE,
                            flash ? FW_BLOCK_COUNT : EEP_BLOCK_COUNT, &end, msgs);
    if (rc != IHEX_OK) {
        report_load_failure(rc, path, flash, msgs);
        return rc;
    }
    firmware_take(fw, memory, image, map, end);
    return IHEX_OK;
}

} // namespace

int ihex_load_file(const char *path, unsigned char **image, unsigned char **block_map,
                   std::size_t image_size, std::size_t block_count, uint32_t *end_addr, FILE *msgs)
{
    unique_fd fd(open(path, O_RDONLY));
    if (fd.get() < 0) {
        fprintf(msgs, "cannot open firmware file '%s'\n", path);
        return IHEX_OPEN_FAILED;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0)
        return IHEX_STAT_FAILED;

    std::size_t size = static_cast<std::size_t>(st.st_size);
    if (st.st_size < 0 || static_cast<off_t>(size) != st.st_size)
        return IHEX_NO_MEM_TEXT;
    // One byte more than needed so that an empty file still gets a buffer of its own.
    byte_buffer text(static_cast<unsigned char *>(malloc(size + 1)));
    if (!text)
        return IHEX_NO_MEM_TEXT;

    ssize_t got = read(fd.get(), text.get(), size);
    fd.reset();
    if (got < 0 || static_cast<std::size_t>(got) != size)
        return IHEX_SHORT_READ;

    return ihex_parse(reinterpret_cast<const char *>(text.get()), size, image, block_map,
                      image_size, block_count, end_addr, msgs);
}

int load_firmware_bundle(const char *data_path, const char *eep_path, firmware_bundle *fw,
                         FILE *msgs)
{
    firmware_bundle loaded;
    int rc = load_half(data_path, AVR_FLASH, &loaded, msgs);
    if (rc == IHEX_OK)
        rc = load_half(eep_path, AVR_EEPROM, &loaded, msgs);
    if (rc != IHEX_OK)
        return rc;
    stamp_fw_checksum(loaded.eep_image.get(), loaded.fw_image.get(), loaded.fw_len);
    *fw = std::move(loaded);
    return IHEX_OK;
}

int load_firmware_pair(const char *data_path, const char *eep_path, unsigned char **fw_image,
                       unsigned char **eep_image, unsigned char **fw_map, unsigned char **eep_map,
                       uint32_t *fw_len, uint32_t *eep_len)
{
    firmware_bundle fw;
    int rc = load_firmware_bundle(data_path, eep_path, &fw);
    if (rc != IHEX_OK)
        return rc;
    firmware_release(&fw, AVR_FLASH, fw_image, fw_map);
    firmware_release(&fw, AVR_EEPROM, eep_image, eep_map);
    if (fw_len)
        *fw_len = fw.fw_len;
    if (eep_len)
        *eep_len = fw.eep_len;
    return IHEX_OK;
}
