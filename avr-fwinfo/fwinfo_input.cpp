#include "fwinfo_input.h"

#include "ihex.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace
{

struct raw_buffers {
    unsigned char *fw_image = nullptr;
    unsigned char *eep_image = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
};

void take(fw_input *in, const raw_buffers &raw)
{
    in->fw_image.reset(raw.fw_image);
    in->eep_image.reset(raw.eep_image);
    in->fw_map.reset(raw.fw_map);
    in->eep_map.reset(raw.eep_map);
}

// Reads len bytes at offset, going on after partial reads and interrupted calls.
bool pread_full(int fd, unsigned char *buf, std::size_t len, off_t offset)
{
    while (len > 0) {
        ssize_t n = pread(fd, buf, len, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// pack_read only warns about a flash payload that does not match its checksum, and it has
// turned a version-1 payload into images already: the stored bytes are read once more here.
bool checksum_stored(int fd, off_t offset, uint32_t size, uint32_t *cksum)
{
    byte_buffer bytes(static_cast<unsigned char *>(malloc(size > 0 ? size : 1)));
    if (!bytes || !pread_full(fd, bytes.get(), size, offset))
        return false;
    *cksum = pack_checksum(bytes.get(), size);
    return true;
}

} // namespace

int load_pack_input(const char *path, fw_input *in)
{
    in->kind = INPUT_PACK;
    in->pack_path = path;
    unique_fd file(open(path, O_RDONLY));
    if (file.get() < 0) {
        printf("file open/stat/read error %s\n", path);
        return INPUT_PACK_OPEN;
    }
    unsigned char bytes[PACK_HEAD_SIZE];
    if (read(file.get(), bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) {
        puts("cannot read pack head");
        return INPUT_PACK_HEAD;
    }
    pack_head_decode(bytes, &in->head);
    in->head_read = true;

    raw_buffers raw;
    int rc =
        pack_read(file.get(), &in->head, &raw.fw_image, &raw.eep_image, &raw.fw_map, &raw.eep_map);
    if (rc != 0)
        return rc;
    take(in, raw);

    const off_t eep_at = static_cast<off_t>(PACK_HEAD_SIZE);
    const off_t fw_at = eep_at + static_cast<off_t>(in->head.eep_size);
    in->eep_payload = payload_check{in->head.eep_size, in->head.eep_cksum, 0};
    in->fw_payload = payload_check{in->head.fw_size, in->head.fw_cksum, 0};
    if (!checksum_stored(file.get(), eep_at, in->head.eep_size, &in->eep_payload.cksum) ||
        !checksum_stored(file.get(), fw_at, in->head.fw_size, &in->fw_payload.cksum)) {
        printf("cannot read the payloads of %s again for their checksums\n", path);
        return INPUT_PAYLOAD_READ;
    }
    return INPUT_OK;
}

int load_hex_input(const char *flash_path, const char *eep_path, fw_input *in)
{
    in->kind = INPUT_HEX_PAIR;
    in->flash_path = flash_path;
    in->eep_path = eep_path;
    raw_buffers raw;
    int rc = load_firmware_pair(flash_path, eep_path, &raw.fw_image, &raw.eep_image, &raw.fw_map,
                                &raw.eep_map, &in->fw_len, &in->eep_len);
    if (rc != 0)
        return rc;
    take(in, raw);
    return INPUT_OK;
}
