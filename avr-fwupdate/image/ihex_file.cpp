#include "ihex.h"

#include "byte_order.h"
#include "firmware_image.h"
#include "owners.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Prints why one file of the pair failed. The flash file's open/stat/read message carries the
// result number, the EEPROM file's does not.
void report_load_failure(int result, const char *path, bool with_code)
{
    switch (static_cast<ihex_result>(result)) {
    case IHEX_OK:
        break;
    case IHEX_OPEN_FAILED:
    case IHEX_STAT_FAILED:
    case IHEX_SHORT_READ:
        if (with_code)
            printf("file open/stat/read error in '%s' %d\n", path, result);
        else
            printf("file open/stat/read error in '%s'\n", path);
        break;
    case IHEX_PARSE_ERROR:
        printf("HEX parser error in file '%s'\n", path);
        break;
    case IHEX_NO_MEM_TEXT:
    case IHEX_NO_MEM_IMAGE:
    case IHEX_NO_MEM_MAP:
        puts("memory allocation failures");
        break;
    }
}

} // namespace

int ihex_load_file(const char *path, unsigned char **image, unsigned char **block_map,
                   std::size_t image_size, std::size_t block_count, uint32_t *end_addr)
{
    unique_fd fd(open(path, O_RDONLY));
    if (fd.get() < 0) {
        printf("cannot open firmware file '%s'\n", path);
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
                      image_size, block_count, end_addr);
}

int load_firmware_pair(const char *data_path, const char *eep_path, unsigned char **fw_image,
                       unsigned char **eep_image, unsigned char **fw_map, unsigned char **eep_map,
                       uint32_t *fw_len, uint32_t *eep_len)
{
    unsigned char *fw = nullptr;
    unsigned char *fw_blocks = nullptr;
    uint32_t fw_end = 0;
    int rc = ihex_load_file(data_path, &fw, &fw_blocks, FW_IMAGE_SIZE, FW_BLOCK_COUNT, &fw_end);
    if (rc != IHEX_OK) {
        report_load_failure(rc, data_path, true);
        return rc;
    }
    byte_buffer fw_owner(fw);
    byte_buffer fw_map_owner(fw_blocks);

    unsigned char *eep = nullptr;
    unsigned char *eep_blocks = nullptr;
    uint32_t eep_end = 0;
    rc = ihex_load_file(eep_path, &eep, &eep_blocks, EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, &eep_end);
    if (rc != IHEX_OK) {
        report_load_failure(rc, eep_path, false);
        return rc;
    }

    stamp_fw_checksum(eep, fw, fw_end);
    *fw_image = fw_owner.release();
    *fw_map = fw_map_owner.release();
    *eep_image = eep;
    *eep_map = eep_blocks;
    if (fw_len)
        *fw_len = fw_end;
    if (eep_len)
        *eep_len = eep_end;
    return IHEX_OK;
}

void stamp_fw_checksum(unsigned char *eep_image, const unsigned char *fw_image, uint32_t fw_len)
{
    uint32_t sum = 0;
    const uint32_t words = fw_len / 4; // a trailing partial word is not summed
    for (uint32_t w = 0; w < words; ++w)
        sum += get_le32(fw_image + 4 * static_cast<std::size_t>(w));

    unsigned char *stamp = eep_image + FW_STAMP_OFFSET;
    put_be32(stamp, sum);
    stamp[4] = 0;
    stamp[5] = 0;
    // The length goes low byte first, rounded down to whole words; bytes 20-21 stay 0, so only
    // its low 16 bits travel.
    put_le16(stamp + 6, static_cast<uint16_t>(fw_len & 0xFFFC));
}
