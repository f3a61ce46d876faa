#include "fwinfo_input.h"

#include "ihex_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace
{

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
    unique_fd file;
    int rc = load_pack_file(path, &in->images, &in->head, &file);
    // The file is handed over once it opened; 10 is no result of pack_read itself.
    in->head_read = file.get() >= 0 && rc != LOAD_PACK_SHORT_HEAD;
    if (rc != 0)
        return rc;

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
    int rc = load_firmware_bundle(flash_path, eep_path, &in->images);
    in->fw_len = in->images.fw_len;
    in->eep_len = in->images.eep_len;
    return rc;
}
