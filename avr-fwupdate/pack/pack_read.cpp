#include "pack_read.h"

#include "whole_file.h"

#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The payloads as read, and the buffers that hold them.
struct read_payloads {
    file_bytes eep;
    file_bytes fw;
    pack_payloads in{};
};

// How many of `len` bytes the file still holds after the current offset. Bounds the buffer for a
// size from the head, so a damaged head cannot ask for more than the file has. A descriptor that
// cannot tell (a pipe) may hold them all.
std::size_t bytes_held(int fd, std::size_t len)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return len;
    off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos < 0)
        return len;
    uint64_t left = st.st_size > pos ? static_cast<uint64_t>(st.st_size - pos) : 0;
    return left < len ? static_cast<std::size_t>(left) : len;
}

// One payload of `size` bytes; nothing is read when the size is above `max`.
void read_payload(int fd, uint32_t size, std::size_t max, file_bytes *buf, pack_payload *p)
{
    *p = pack_payload{nullptr, 0, false};
    if (size > max)
        return;
    if (!read_new_bytes(fd, bytes_held(fd, size), buf)) {
        p->no_memory = true;
        return;
    }
    p->bytes = buf->bytes.get();
    p->len = buf->len;
}

// The EEPROM payload, then the flash payload behind it when the first came whole.
void read_both(int fd, const pack_head &head, read_payloads *r)
{
    const pack_limits limits = pack_payload_limits(head);
    if (limits.eep_max == 0)
        return; // a head the decoder refuses: it looks at no payload
    read_payload(fd, head.eep_size, limits.eep_max, &r->eep, &r->in.eep);
    if (r->in.eep.len == head.eep_size && !r->in.eep.no_memory)
        read_payload(fd, head.fw_size, limits.fw_max, &r->fw, &r->in.fw);
}

} // namespace

pack_decode_result pack_read_bundle(int fd, const pack_head &head, firmware_bundle *fw,
                                    pack_sums *sums, FILE *msgs)
{
    read_payloads r;
    read_both(fd, head, &r);
    return pack_decode(head, r.in, fw, sums, msgs);
}

pack_decode_result pack_read(int fd, const pack_head *head, unsigned char **fw_image,
                             unsigned char **eep_image, unsigned char **fw_map,
                             unsigned char **eep_map)
{
    firmware_bundle fw;
    const pack_decode_result rc = pack_read_bundle(fd, *head, &fw, nullptr);
    if (rc != PACK_DECODE_OK)
        return rc;
    firmware_release(&fw, AVR_FLASH, fw_image, fw_map);
    firmware_release(&fw, AVR_EEPROM, eep_image, eep_map);
    return PACK_DECODE_OK;
}
