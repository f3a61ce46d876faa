#include "pack.h"

#include "firmware_image.h"
#include "fw_stamp.h"
#include "ihex_parse.h"
#include "owners.h"
#include "pack_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

enum pack_read_result {
    PACK_READ_OK = 0,
    PACK_READ_IO = 1, // allocation failure or short payload
    PACK_READ_EEP_CKSUM = 2,
    PACK_READ_BAD_DATA = 3,  // EEPROM map allocation, decompression
    PACK_READ_TOO_LARGE = 4, // payload larger than the AVR's memory
    PACK_READ_BAD_MAGIC = 11,
    PACK_READ_BAD_VERSION = 12,
    PACK_READ_VERSION0 = 13,
};

constexpr unsigned char ERASED_BYTE = 0xFF; // what the AVR holds where nothing is written

// Largest payloads a valid PACK can need: a HEX text of the whole flash is a few MiB even with
// short records and long line ends; a compressed flash image stays within bzip2's bound.
constexpr std::size_t PACK_V1_TEXT_MAX = 16 * 1024 * 1024; // bytes
constexpr std::size_t PACK_V3_FW_STORED_MAX = pack_bz_capacity(FW_IMAGE_SIZE);

// What the reader hands over on success; until then these owners free it on every failure.
struct pack_images {
    byte_buffer fw_image;
    byte_buffer eep_image;
    byte_buffer fw_map;
    byte_buffer eep_map;
};

unsigned char *alloc_bytes(std::size_t len)
{
    return static_cast<unsigned char *>(malloc(len > 0 ? len : 1));
}

// Whether the file still holds len bytes after the current offset. Checked before a size from the
// head is allocated, so a damaged head cannot ask for gigabytes. A descriptor that cannot tell
// (a pipe) passes; its short read is caught afterwards.
bool file_holds(int fd, uint32_t len)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return true;
    off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos < 0)
        return true;
    off_t left = st.st_size > pos ? st.st_size - pos : 0;
    return static_cast<uint64_t>(len) <= static_cast<uint64_t>(left);
}

// Reads exactly len bytes, going on after partial reads (pipes) and interrupted calls.
bool read_full(int fd, unsigned char *buf, std::size_t len)
{
    while (len > 0) {
        ssize_t n = read(fd, buf, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

// A map of block_count entries with the blocks that hold the first len bytes flagged.
unsigned char *new_block_map(std::size_t block_count, uint32_t len)
{
    unsigned char *map = alloc_bytes(block_count);
    if (map) {
        std::size_t used = (static_cast<std::size_t>(len) + AVR_BLOCK_SIZE - 1) / AVR_BLOCK_SIZE;
        memset(map, 0, block_count);
        memset(map, 1, used < block_count ? used : block_count);
    }
    return map;
}

unsigned char *new_erased_image(std::size_t size)
{
    unsigned char *image = alloc_bytes(size);
    if (image)
        memset(image, ERASED_BYTE, size);
    return image;
}

// Result 4 with a message naming the payload when a size from the head is above what a valid
// payload can need. Checked before anything is allocated for it, whatever the input is: a pipe
// cannot tell how much it still holds.
int check_size(const char *tag, const char *what, uint32_t size, std::size_t max)
{
    if (size <= max)
        return PACK_READ_OK;
    printf("%s: %s %u above %u bytes\n", tag, what, static_cast<unsigned>(size),
           static_cast<unsigned>(max));
    return PACK_READ_TOO_LARGE;
}

// One HEX text of version 1, read whole into *text (zeroed before the read).
int read_v1_text(int fd, uint32_t size, const char *what, const char *alloc_msg,
                 const char *read_msg, byte_buffer *text)
{
    int rc = check_size("PACK-V1", what, size, PACK_V1_TEXT_MAX);
    if (rc != PACK_READ_OK)
        return rc;
    if (!file_holds(fd, size)) {
        puts(read_msg);
        return PACK_READ_IO;
    }
    text->reset(static_cast<unsigned char *>(calloc(size > 0 ? size : 1, 1)));
    if (!*text) {
        puts(alloc_msg);
        return PACK_READ_IO;
    }
    if (!read_full(fd, text->get(), size)) {
        puts(read_msg);
        return PACK_READ_IO;
    }
    return PACK_READ_OK;
}

int read_v1(int fd, const pack_head &head, pack_images *out)
{
    puts("PACK-V1 (IHEX) detected.");

    byte_buffer text;
    int rc = read_v1_text(fd, head.eep_size, "eep data size", "PACK-V1: mem alloc failure",
                          "PACK-V1: pack eep data read failure", &text);
    if (rc != PACK_READ_OK)
        return rc;
    if (pack_checksum(text.get(), head.eep_size) != head.eep_cksum) {
        puts("PACK-V1: eep data cksum error");
        return PACK_READ_EEP_CKSUM;
    }
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    rc = ihex_parse(reinterpret_cast<const char *>(text.get()), head.eep_size, &image, &map,
                    EEP_IMAGE_SIZE, EEP_BLOCK_COUNT, nullptr);
    if (rc != 0) {
        puts("PACK-V1: pack eep data parse error");
        return rc;
    }
    out->eep_image.reset(image);
    out->eep_map.reset(map);

    rc = read_v1_text(fd, head.fw_size, "fw data size", "PACK-V1: fw mem alloc failure",
                      "PACK-V1: pack fw data read failure", &text);
    if (rc != PACK_READ_OK)
        return rc;
    if (pack_checksum(text.get(), head.fw_size) != head.fw_cksum)
        puts("PACK-V1: fw data cksum error"); // a warning: the update goes on
    uint32_t fw_len = 0;
    rc = ihex_parse(reinterpret_cast<const char *>(text.get()), head.fw_size, &image, &map,
                    FW_IMAGE_SIZE, FW_BLOCK_COUNT, &fw_len);
    if (rc != 0) {
        puts("PACK-V1: pack fw data parse error");
        return rc;
    }
    out->fw_image.reset(image);
    out->fw_map.reset(map);
    // The word sum covers fw_len bytes of the image; the image ends at FW_IMAGE_SIZE.
    if (fw_len > FW_IMAGE_SIZE) {
        puts("PACK-V1: pack fw data parse error");
        return IHEX_PARSE_ERROR;
    }
    stamp_fw_checksum(out->eep_image.get(), out->fw_image.get(), fw_len);
    return PACK_READ_OK;
}

// The binary EEPROM payload of versions 2 and 3, with its checksum and map.
int read_eep_binary(int fd, const pack_head &head, const char *tag, pack_images *out)
{
    int rc = check_size(tag, "eep data size", head.eep_size, EEP_IMAGE_SIZE);
    if (rc != PACK_READ_OK)
        return rc;
    out->eep_image.reset(new_erased_image(EEP_IMAGE_SIZE));
    if (!out->eep_image) {
        printf("%s: eep mem alloc failure\n", tag);
        return PACK_READ_IO;
    }
    if (!file_holds(fd, head.eep_size) || !read_full(fd, out->eep_image.get(), head.eep_size)) {
        printf("%s: pack eep data read failure\n", tag);
        return PACK_READ_IO;
    }
    if (pack_checksum(out->eep_image.get(), head.eep_size) != head.eep_cksum) {
        printf("%s: eep data cksum error\n", tag);
        return PACK_READ_EEP_CKSUM;
    }
    out->eep_map.reset(new_block_map(EEP_BLOCK_COUNT, head.eep_size));
    if (!out->eep_map) {
        printf("%s: eep blk alloc error\n", tag);
        return PACK_READ_BAD_DATA;
    }
    return PACK_READ_OK;
}

// The erased flash image: the full FW_IMAGE_SIZE, or `room` bytes when that is more.
int new_flash_image(const char *tag, std::size_t room, pack_images *out)
{
    out->fw_image.reset(new_erased_image(room > FW_IMAGE_SIZE ? room : FW_IMAGE_SIZE));
    if (!out->fw_image) {
        printf("%s: fw mem alloc failure\n", tag);
        return PACK_READ_IO;
    }
    return PACK_READ_OK;
}

// Gives back what the image holds beyond FW_IMAGE_SIZE; it stays valid if that fails.
void trim_flash_image(pack_images *out)
{
    unsigned char *image = out->fw_image.release();
    void *trimmed = realloc(image, FW_IMAGE_SIZE);
    out->fw_image.reset(trimmed ? static_cast<unsigned char *>(trimmed) : image);
}

// The flash map with the blocks that hold the first `len` bytes flagged.
int new_flash_map(const char *tag, uint32_t len, pack_images *out)
{
    out->fw_map.reset(new_block_map(FW_BLOCK_COUNT, len));
    if (!out->fw_map) {
        printf("%s: fw blk mem alloc error\n", tag);
        return PACK_READ_IO;
    }
    return PACK_READ_OK;
}

int read_v2(int fd, const pack_head &head, pack_images *out)
{
    const char *tag = "PACK-V2";
    puts("PACK-V2 (BIN) detected.");
    int rc = read_eep_binary(fd, head, tag, out);
    if (rc != PACK_READ_OK)
        return rc;

    rc = check_size(tag, "fw data size", head.fw_size, FW_IMAGE_SIZE);
    if (rc == PACK_READ_OK)
        rc = new_flash_image(tag, FW_IMAGE_SIZE, out);
    if (rc != PACK_READ_OK)
        return rc;
    if (!file_holds(fd, head.fw_size) || !read_full(fd, out->fw_image.get(), head.fw_size)) {
        printf("%s: pack fw data read failure\n", tag);
        return PACK_READ_IO;
    }
    if (pack_checksum(out->fw_image.get(), head.fw_size) != head.fw_cksum)
        printf("%s: fw data cksum error\n", tag); // a warning: the update goes on
    return new_flash_map(tag, head.fw_size, out);
}

int read_v3(int fd, const pack_head &head, pack_images *out)
{
    const char *tag = "PACK-V3";
    puts("PACK-V3 (BZ2-BIN) detected.");
    int rc = read_eep_binary(fd, head, tag, out);
    if (rc != PACK_READ_OK)
        return rc;

    rc = check_size(tag, "fw raw size", head.fw_raw_size, FW_IMAGE_SIZE);
    if (rc == PACK_READ_OK)
        rc = check_size(tag, "fw data size", head.fw_size, PACK_V3_FW_STORED_MAX);
    if (rc != PACK_READ_OK)
        return rc;
    // Decompression gets bzip2's room over the announced length, so a stream a little longer than
    // announced ends in the length check below and a much longer one in the library's -8.
    const std::size_t room = pack_bz_capacity(head.fw_raw_size);
    rc = new_flash_image(tag, room, out);
    if (rc != PACK_READ_OK)
        return rc;
    if (!file_holds(fd, head.fw_size)) {
        printf("%s: pack fw data read failure\n", tag);
        return PACK_READ_IO;
    }
    byte_buffer cbuf(alloc_bytes(head.fw_size));
    if (!cbuf) {
        printf("%s: cannot allocate compressed data buffer\n", tag);
        return PACK_READ_IO;
    }
    if (!read_full(fd, cbuf.get(), head.fw_size)) {
        printf("%s: pack fw data read failure\n", tag);
        return PACK_READ_IO;
    }
    if (pack_checksum(cbuf.get(), head.fw_size) != head.fw_cksum)
        printf("%s: fw data cksum error\n", tag); // a warning: the update goes on

    unsigned int len = static_cast<unsigned int>(room);
    rc = pack_bz_decompress(out->fw_image.get(), &len, cbuf.get(), head.fw_size);
    if (rc != 0) {
        printf("%s: decompression error: %d\n", tag, rc);
        return PACK_READ_BAD_DATA;
    }
    if (len != head.fw_raw_size) {
        printf("%s: decompressed size %u differs from fw raw size %u\n", tag, len,
               static_cast<unsigned>(head.fw_raw_size));
        return PACK_READ_BAD_DATA;
    }
    cbuf.reset();
    if (room > FW_IMAGE_SIZE)
        trim_flash_image(out);
    return new_flash_map(tag, head.fw_raw_size, out);
}

} // namespace

int pack_read(int fd, const pack_head *head, unsigned char **fw_image, unsigned char **eep_image,
              unsigned char **fw_map, unsigned char **eep_map)
{
    if (head->magic != PACK_MAGIC) {
        puts("PACK invalid signature");
        return PACK_READ_BAD_MAGIC;
    }
    pack_images images;
    int rc = PACK_READ_OK;
    switch (head->version) {
    case 0:
        puts("PACK version 0 not supported. Where did you get that from anyway?  We never even "
             "released a working binary with this broken PACK format!");
        return PACK_READ_VERSION0;
    case 1:
        rc = read_v1(fd, *head, &images);
        break;
    case 2:
        rc = read_v2(fd, *head, &images);
        break;
    case 3:
        rc = read_v3(fd, *head, &images);
        break;
    default:
        printf("unsupported PACK version %d. Please update this tool!\n",
               static_cast<int>(head->version));
        return PACK_READ_BAD_VERSION;
    }
    if (rc != PACK_READ_OK)
        return rc;
    *fw_image = images.fw_image.release();
    *eep_image = images.eep_image.release();
    *fw_map = images.fw_map.release();
    *eep_map = images.eep_map.release();
    return PACK_READ_OK;
}
