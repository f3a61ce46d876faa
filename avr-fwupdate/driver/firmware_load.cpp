#include "firmware_load.h"

#include "ihex.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// What the loaders fill through their out-parameters before the owners take it.
struct loaded_buffers {
    unsigned char *fw_image = nullptr;
    unsigned char *eep_image = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
};

void take(firmware_images *fw, const loaded_buffers &raw)
{
    fw->fw_image.reset(raw.fw_image);
    fw->eep_image.reset(raw.eep_image);
    fw->fw_map.reset(raw.fw_map);
    fw->eep_map.reset(raw.eep_map);
}

} // namespace

int load_pack_file(const char *path, firmware_images *fw, pack_head *head, unique_fd *file)
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
    loaded_buffers raw;
    int rc = pack_read(fd, head, &raw.fw_image, &raw.eep_image, &raw.fw_map, &raw.eep_map);
    if (rc == 0)
        take(fw, raw);
    return rc;
}

int load_hex_files(const char *data_path, const char *eep_path, firmware_images *fw,
                   uint32_t *fw_len, uint32_t *eep_len)
{
    loaded_buffers raw;
    uint32_t fw_len_read = 0;
    uint32_t eep_len_read = 0;
    int rc = load_firmware_pair(data_path, eep_path, &raw.fw_image, &raw.eep_image, &raw.fw_map,
                                &raw.eep_map, &fw_len_read, &eep_len_read);
    if (rc != 0)
        return rc;
    take(fw, raw);
    if (fw_len)
        *fw_len = fw_len_read;
    if (eep_len)
        *eep_len = eep_len_read;
    return 0;
}
