#include "firmware_load.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int load_pack_file(const char *path, firmware_bundle *fw, pack_head *head, unique_fd *file)
{
    unique_fd own(open(path, O_RDONLY));
    if (own.get() < 0) {
        printf("file open/stat/read error %s\n", path);
        return LOAD_PACK_OPEN_FAILED;
    }
    const int fd = own.get();
    if (file)
        *file = std::move(own);

    unsigned char bytes[PACK_HEAD_SIZE];
    if (read(fd, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) {
        puts("cannot read pack head");
        return LOAD_PACK_SHORT_HEAD;
    }
    pack_head_decode(bytes, head);
    unsigned char *fw_image = nullptr;
    unsigned char *eep_image = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
    int rc = pack_read(fd, head, &fw_image, &eep_image, &fw_map, &eep_map);
    if (rc == 0) {
        firmware_take(fw, AVR_FLASH, fw_image, fw_map, 0);
        firmware_take(fw, AVR_EEPROM, eep_image, eep_map, 0);
    }
    return rc;
}
