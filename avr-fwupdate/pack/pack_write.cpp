#include "pack_write.h"

#include "atomic_file.h"
#include "firmware_image.h"
#include "ihex_file.h"
#include "owners.h"
#include "pack_bzip2.h"
#include "pack_format.h"
#include "whole_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

pack_head new_head(uint32_t version)
{
    pack_head head;
    memset(&head, 0, sizeof head);
    head.magic = PACK_MAGIC;
    head.version = version;
    return head;
}

constexpr mode_t PACK_FILE_MODE = 0644; // before the umask

// Whether two paths name one file, through links of either kind. A path that names nothing
// (an output not made yet, an input the loader will report) is no other path's file.
bool same_file(const char *a, const char *b)
{
    struct stat sa;
    struct stat sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The output replaces its file only at the end, after the inputs were read; an input named as
// the output would be lost to the PACK made from it, so such a command line is refused first.
pack_write_result open_output(const char *out_path, const char *data_path, const char *eep_path,
                              atomic_file *out)
{
    if (same_file(out_path, data_path) || same_file(out_path, eep_path)) {
        printf("output file %s is one of the input files\n", out_path);
        return PACK_WRITE_NO_OUTPUT;
    }
    if (atomic_file_open(out_path, PACK_FILE_MODE, out) != ATOMIC_FILE_OPEN) {
        printf("cannot open for writing %s\n", out_path);
        return PACK_WRITE_NO_OUTPUT;
    }
    return PACK_WRITE_OK;
}

// Head, EEPROM payload, flash payload, each with one write call; then the finished file replaces
// the output. The head's checksums are those of the payloads, its sizes the caller's. A
// compressed flash payload also names its uncompressed length on the data line.
// A short or failed write gives PACK_WRITE_SHORT, not the count the write returned.
pack_write_result write_pack(const char *out_path, atomic_file *out, pack_head head,
                             const unsigned char *eep, const unsigned char *fw, bool compressed)
{
    head.eep_cksum = pack_checksum(eep, head.eep_size);
    head.fw_cksum = pack_checksum(fw, head.fw_size);
    printf("Size EEP: %08d cksum %08lx\nSize FW:  %08d cksum %08lx\n",
           static_cast<int>(head.eep_size), static_cast<unsigned long>(head.eep_cksum),
           static_cast<int>(head.fw_size), static_cast<unsigned long>(head.fw_cksum));

    unsigned char bytes[PACK_HEAD_SIZE];
    pack_head_encode(&head, bytes);
    printf("Writing HEAD... ");
    ssize_t n = write(out->fd.get(), bytes, sizeof bytes);
    if (n != static_cast<ssize_t>(sizeof bytes)) {
        puts("cannot write!");
        return PACK_WRITE_SHORT;
    }

    printf("OK\nWriting EEP  (%d bytes) ... ", static_cast<int>(head.eep_size));
    n = write(out->fd.get(), eep, head.eep_size);
    if (n != static_cast<ssize_t>(head.eep_size)) {
        puts("cannot write eep data");
        return PACK_WRITE_SHORT;
    }

    if (compressed)
        printf("OK\nWriting DATA (%d bytes [%d real]) ...", static_cast<int>(head.fw_size),
               static_cast<int>(head.fw_raw_size));
    else
        printf("OK\nWriting DATA (%d bytes) ...", static_cast<int>(head.fw_size));
    n = write(out->fd.get(), fw, head.fw_size);
    if (n != static_cast<ssize_t>(head.fw_size)) {
        puts("cannot write fw data");
        return PACK_WRITE_SHORT;
    }
    puts("OK");

    if (atomic_file_commit(out) != ATOMIC_FILE_COMMITTED) {
        printf("cannot replace %s\n", out_path);
        return PACK_WRITE_NO_OUTPUT;
    }
    return PACK_WRITE_OK;
}

// Reads a whole HEX text, measured by seeking. PACK_WRITE_V1_READ after printing short_read_msg
// or the allocation message.
pack_write_result read_text(int fd, file_bytes *text, uint32_t *len, const char *short_read_msg)
{
    switch (read_whole_file(fd, MEASURE_BY_SEEKING, UINT32_MAX, text)) {
    case WHOLE_FILE_OK:
        *len = static_cast<uint32_t>(text->len);
        return PACK_WRITE_OK;
    case WHOLE_FILE_NO_MEMORY:
        puts("memory alloc error!");
        return PACK_WRITE_V1_READ;
    case WHOLE_FILE_NO_SIZE:
    case WHOLE_FILE_TOO_LARGE:
    case WHOLE_FILE_SHORT:
        break;
    }
    puts(short_read_msg);
    return PACK_WRITE_V1_READ;
}

// Loads the pair for versions 2 and 3, stamped by the loader; PACK_WRITE_INPUT after the
// messages.
pack_write_result load_pair(const char *data_path, const char *eep_path, firmware_bundle *fw)
{
    // The payloads are cut from full-size images: a length past an image would read beyond it.
    if (load_firmware_bundle(data_path, eep_path, fw) != IHEX_LOAD_OK ||
        fw->fw_len > FW_IMAGE_SIZE || fw->eep_len > EEP_IMAGE_SIZE) {
        puts("errors found in data files; aborting.");
        return PACK_WRITE_INPUT;
    }
    return PACK_WRITE_OK;
}

// What a binary packer builds from: its head, its output file and the loaded, stamped firmware.
struct binary_pack {
    pack_head head;
    atomic_file out;
    firmware_bundle fw;
};

// The first steps of the binary packers: the title, the head, the output opened, then the HEX
// pair loaded and stamped.
pack_write_result begin_binary_pack(uint32_t version, const char *out_path, const char *data_path,
                                    const char *eep_path, binary_pack *p)
{
    printf("Packing firmware files (V%u)\n", static_cast<unsigned>(version));
    p->head = new_head(version);
    const pack_write_result rc = open_output(out_path, data_path, eep_path, &p->out);
    if (rc != PACK_WRITE_OK)
        return rc;
    return load_pair(data_path, eep_path, &p->fw);
}

} // namespace

pack_write_result pack_write_v1(const char *out_path, const char *data_path, const char *eep_path)
{
    puts("Packing firmware files (V1)");
    pack_head head = new_head(PACK_VERSION_HEX);
    atomic_file out;
    pack_write_result rc = open_output(out_path, data_path, eep_path, &out);
    if (rc != PACK_WRITE_OK)
        return rc;

    unique_fd eep_file(open(eep_path, O_RDONLY | O_CLOEXEC));
    if (eep_file.get() < 0) {
        printf("cannot open for reading %s\n", eep_path);
        return PACK_WRITE_INPUT;
    }
    unique_fd data_file(open(data_path, O_RDONLY | O_CLOEXEC));
    if (data_file.get() < 0) {
        printf("cannot open for reading %s\n", data_path);
        return PACK_WRITE_NO_DATA_FILE;
    }

    file_bytes eep_text;
    file_bytes data_text;
    rc = read_text(eep_file.get(), &eep_text, &head.eep_size, "could not read all of eep");
    if (rc != PACK_WRITE_OK)
        return rc;
    rc = read_text(data_file.get(), &data_text, &head.fw_size, "could not read all of data");
    if (rc != PACK_WRITE_OK)
        return rc;

    return write_pack(out_path, &out, head, eep_text.bytes.get(), data_text.bytes.get(), false);
}

pack_write_result pack_write_v2(const char *out_path, const char *data_path, const char *eep_path)
{
    binary_pack p;
    const pack_write_result rc =
        begin_binary_pack(PACK_VERSION_BINARY, out_path, data_path, eep_path, &p);
    if (rc != PACK_WRITE_OK)
        return rc;
    p.head.eep_size = p.fw.eep_len;
    p.head.fw_size = p.fw.fw_len;
    return write_pack(out_path, &p.out, p.head, p.fw.eep_image.get(), p.fw.fw_image.get(), false);
}

pack_write_result pack_write_v3(const char *out_path, const char *data_path, const char *eep_path)
{
    binary_pack p;
    const pack_write_result rc =
        begin_binary_pack(PACK_VERSION_BZIP2, out_path, data_path, eep_path, &p);
    if (rc != PACK_WRITE_OK)
        return rc;

    std::size_t capacity = pack_bz_capacity(p.fw.fw_len);
    byte_buffer cbuf(static_cast<unsigned char *>(malloc(capacity)));
    if (!cbuf) {
        puts("cbuf malloc error!");
        return PACK_WRITE_NO_CBUF;
    }
    unsigned int clen = static_cast<unsigned int>(capacity);
    if (pack_bz_compress(cbuf.get(), &clen, p.fw.fw_image.get(), p.fw.fw_len) != 0) {
        puts("compression error");
        return PACK_WRITE_COMPRESS;
    }
    p.head.eep_size = p.fw.eep_len;
    p.head.fw_size = clen;
    p.head.fw_raw_size = p.fw.fw_len;
    return write_pack(out_path, &p.out, p.head, p.fw.eep_image.get(), cbuf.get(), true);
}
