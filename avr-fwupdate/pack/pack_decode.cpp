#include "pack_decode.h"

#include "erased_byte.h"
#include "fw_stamp.h"
#include "ihex_parse.h"
#include "pack_bzip2.h"

#include <cstdlib>
#include <cstring>

namespace
{

// Largest payloads a valid PACK can need: a HEX text of the whole flash is a few MiB even with
// short records and long line ends; a compressed flash image stays within bzip2's bound.
constexpr std::size_t PACK_V1_TEXT_MAX = 16 * 1024 * 1024; // bytes
constexpr std::size_t PACK_V3_FW_STORED_MAX = pack_bz_capacity(FW_IMAGE_SIZE);

// What each check of a payload prints, after the version's tag.
struct payload_texts {
    const char *size;      // "<size> %u above %u bytes"
    const char *no_memory; // the reader had no memory for it
    const char *short_read;
    const char *cksum;
};

constexpr payload_texts EEP_TEXTS = {"eep data size", "eep mem alloc failure",
                                     "pack eep data read failure", "eep data cksum error"};
constexpr payload_texts FW_TEXTS = {"fw data size", "fw mem alloc failure",
                                    "pack fw data read failure", "fw data cksum error"};
constexpr payload_texts V1_EEP_TEXTS = {"eep data size", "mem alloc failure",
                                        "pack eep data read failure", "eep data cksum error"};
constexpr payload_texts V3_FW_TEXTS = {"fw data size", "cannot allocate compressed data buffer",
                                       "pack fw data read failure", "fw data cksum error"};

// One decode: the head, the version's tag for messages, where they go, and what it makes.
struct decode_run {
    const pack_head *head;
    const char *tag; // "PACK-V1" ...
    FILE *msgs;
    firmware_bundle *fw;
    pack_sums *sums;
};

void say(const decode_run &run, const char *what)
{
    fprintf(run.msgs, "%s: %s\n", run.tag, what);
}

unsigned char *alloc_bytes(std::size_t len)
{
    return static_cast<unsigned char *>(malloc(len > 0 ? len : 1));
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

// An erased image of `size` bytes that starts with the first stored_len bytes at `stored`.
unsigned char *new_image(std::size_t size, const unsigned char *stored, uint32_t stored_len)
{
    unsigned char *image = alloc_bytes(size);
    if (image) {
        memset(image, ERASED_BYTE, size);
        if (stored_len > 0)
            memcpy(image, stored, stored_len);
    }
    return image;
}

// The checks every payload gets: its size against what a valid one can need, whether the reader
// holds all of it, and its checksum, which fails the decode only when cksum_fails and is a warning
// otherwise. *sum receives the checksum.
pack_decode_result check_payload(const decode_run &run, const pack_payload &p, uint32_t size,
                                 std::size_t max, uint32_t head_cksum, const payload_texts &texts,
                                 bool cksum_fails, uint32_t *sum)
{
    if (size > max) {
        fprintf(run.msgs, "%s: %s %u above %u bytes\n", run.tag, texts.size,
                static_cast<unsigned>(size), static_cast<unsigned>(max));
        return PACK_DECODE_TOO_LARGE;
    }
    if (p.no_memory || p.len < size) {
        say(run, p.no_memory ? texts.no_memory : texts.short_read);
        return PACK_DECODE_IO;
    }
    *sum = pack_checksum(p.bytes, size);
    if (*sum == head_cksum)
        return PACK_DECODE_OK;
    say(run, texts.cksum);
    return cksum_fails ? PACK_DECODE_EEP_CKSUM : PACK_DECODE_OK;
}

pack_decode_result v1_parse_result(ihex_result rc)
{
    switch (rc) {
    case IHEX_OK:
        return PACK_DECODE_OK;
    case IHEX_NO_MEM_IMAGE:
        return PACK_DECODE_V1_NO_MEM_IMAGE;
    case IHEX_NO_MEM_MAP:
        return PACK_DECODE_V1_NO_MEM_MAP;
    case IHEX_PARSE_ERROR:
        break;
    }
    return PACK_DECODE_V1_PARSE_ERROR;
}

// One HEX text of version 1, checked and parsed into its memory's half of the bundle.
pack_decode_result decode_v1_text(const decode_run &run, const pack_payload &p, avr_memory memory)
{
    const bool flash = memory == AVR_FLASH;
    const pack_head &head = *run.head;
    const uint32_t size = flash ? head.fw_size : head.eep_size;
    pack_decode_result rc = check_payload(
        run, p, size, PACK_V1_TEXT_MAX, flash ? head.fw_cksum : head.eep_cksum,
        flash ? FW_TEXTS : V1_EEP_TEXTS, !flash, flash ? &run.sums->fw : &run.sums->eep);
    if (rc != PACK_DECODE_OK)
        return rc;
    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end = 0;
    const ihex_result parsed = ihex_parse(reinterpret_cast<const char *>(p.bytes), size, &image,
                                          &map, flash ? FW_IMAGE_SIZE : EEP_IMAGE_SIZE,
                                          flash ? FW_BLOCK_COUNT : EEP_BLOCK_COUNT, &end, run.msgs);
    if (parsed != IHEX_OK) {
        say(run, flash ? "pack fw data parse error" : "pack eep data parse error");
        return v1_parse_result(parsed);
    }
    firmware_take(run.fw, memory, image, map, end);
    return PACK_DECODE_OK;
}

pack_decode_result decode_v1(const decode_run &run, const pack_payloads &in)
{
    pack_decode_result rc = decode_v1_text(run, in.eep, AVR_EEPROM);
    if (rc == PACK_DECODE_OK)
        rc = decode_v1_text(run, in.fw, AVR_FLASH);
    if (rc == PACK_DECODE_OK)
        stamp_fw_checksum(run.fw->eep_image.get(), run.fw->fw_image.get(), run.fw->fw_len);
    return rc;
}

// The binary EEPROM payload of versions 2 and 3, with its map. It is stored stamped.
pack_decode_result decode_eep_binary(const decode_run &run, const pack_payload &p)
{
    const pack_head &head = *run.head;
    pack_decode_result rc = check_payload(run, p, head.eep_size, EEP_IMAGE_SIZE, head.eep_cksum,
                                          EEP_TEXTS, true, &run.sums->eep);
    if (rc != PACK_DECODE_OK)
        return rc;
    byte_buffer image(new_image(EEP_IMAGE_SIZE, p.bytes, head.eep_size));
    if (!image) {
        say(run, EEP_TEXTS.no_memory);
        return PACK_DECODE_IO;
    }
    unsigned char *map = new_block_map(EEP_BLOCK_COUNT, head.eep_size);
    if (!map) {
        say(run, "eep blk alloc error");
        return PACK_DECODE_BAD_DATA;
    }
    firmware_take(run.fw, AVR_EEPROM, image.release(), map, head.eep_size);
    return PACK_DECODE_OK;
}

// The flash map of versions 2 and 3, with the blocks that hold the first `len` bytes flagged.
pack_decode_result new_flash_map(const decode_run &run, uint32_t len)
{
    run.fw->fw_map.reset(new_block_map(FW_BLOCK_COUNT, len));
    if (!run.fw->fw_map) {
        say(run, "fw blk mem alloc error");
        return PACK_DECODE_IO;
    }
    run.fw->fw_len = len;
    return PACK_DECODE_OK;
}

pack_decode_result decode_v2(const decode_run &run, const pack_payloads &in)
{
    const pack_head &head = *run.head;
    pack_decode_result rc = decode_eep_binary(run, in.eep);
    if (rc == PACK_DECODE_OK)
        rc = check_payload(run, in.fw, head.fw_size, FW_IMAGE_SIZE, head.fw_cksum, FW_TEXTS, false,
                           &run.sums->fw);
    if (rc != PACK_DECODE_OK)
        return rc;
    run.fw->fw_image.reset(new_image(FW_IMAGE_SIZE, in.fw.bytes, head.fw_size));
    if (!run.fw->fw_image) {
        say(run, FW_TEXTS.no_memory);
        return PACK_DECODE_IO;
    }
    return new_flash_map(run, head.fw_size);
}

// Decompresses the stored flash payload into an erased image of FW_IMAGE_SIZE bytes, or of
// `room` bytes when that is more, and then gives back what it holds beyond FW_IMAGE_SIZE.
pack_decode_result decompress_flash(const decode_run &run, const pack_payload &p, std::size_t room)
{
    const pack_head &head = *run.head;
    byte_buffer image(new_image(room > FW_IMAGE_SIZE ? room : FW_IMAGE_SIZE, nullptr, 0));
    if (!image) {
        say(run, FW_TEXTS.no_memory);
        return PACK_DECODE_IO;
    }
    unsigned int len = static_cast<unsigned int>(room);
    int rc = pack_bz_decompress(image.get(), &len, p.bytes, head.fw_size);
    if (rc != 0) {
        fprintf(run.msgs, "%s: decompression error: %d\n", run.tag, rc);
        return PACK_DECODE_BAD_DATA;
    }
    if (len != head.fw_raw_size) {
        fprintf(run.msgs, "%s: decompressed size %u differs from fw raw size %u\n", run.tag, len,
                static_cast<unsigned>(head.fw_raw_size));
        return PACK_DECODE_BAD_DATA;
    }
    unsigned char *raw = image.release();
    if (room > FW_IMAGE_SIZE) {
        // Gives back the room beyond FW_IMAGE_SIZE; the image stays valid if that fails.
        void *trimmed = realloc(raw, FW_IMAGE_SIZE);
        if (trimmed)
            raw = static_cast<unsigned char *>(trimmed);
    }
    run.fw->fw_image.reset(raw);
    return PACK_DECODE_OK;
}

pack_decode_result decode_v3(const decode_run &run, const pack_payloads &in)
{
    const pack_head &head = *run.head;
    pack_decode_result rc = decode_eep_binary(run, in.eep);
    if (rc != PACK_DECODE_OK)
        return rc;
    if (head.fw_raw_size > FW_IMAGE_SIZE) {
        fprintf(run.msgs, "%s: fw raw size %u above %u bytes\n", run.tag,
                static_cast<unsigned>(head.fw_raw_size), static_cast<unsigned>(FW_IMAGE_SIZE));
        return PACK_DECODE_TOO_LARGE;
    }
    rc = check_payload(run, in.fw, head.fw_size, PACK_V3_FW_STORED_MAX, head.fw_cksum, V3_FW_TEXTS,
                       false, &run.sums->fw);
    if (rc != PACK_DECODE_OK)
        return rc;
    // Decompression gets bzip2's room over the announced length, so a stream a little longer than
    // announced ends in the length check and a much longer one in the library's -8.
    rc = decompress_flash(run, in.fw, pack_bz_capacity(head.fw_raw_size));
    if (rc != PACK_DECODE_OK)
        return rc;
    return new_flash_map(run, head.fw_raw_size);
}

} // namespace

pack_limits pack_payload_limits(const pack_head &head)
{
    if (head.magic != PACK_MAGIC)
        return pack_limits{0, 0};
    switch (head.version) {
    case PACK_VERSION_HEX:
        return pack_limits{PACK_V1_TEXT_MAX, PACK_V1_TEXT_MAX};
    case PACK_VERSION_BINARY:
        return pack_limits{EEP_IMAGE_SIZE, FW_IMAGE_SIZE};
    case PACK_VERSION_BZIP2:
        return pack_limits{EEP_IMAGE_SIZE, PACK_V3_FW_STORED_MAX};
    default:
        return pack_limits{0, 0};
    }
}

pack_payloads pack_payloads_in(const pack_head &head, const unsigned char *bytes, std::size_t len)
{
    pack_payloads in{};
    in.eep = pack_payload{bytes, len < head.eep_size ? len : head.eep_size, false};
    if (in.eep.len < head.eep_size)
        return in; // the flash payload starts beyond the end
    const std::size_t left = len - in.eep.len;
    in.fw = pack_payload{bytes + in.eep.len, left < head.fw_size ? left : head.fw_size, false};
    return in;
}

pack_decode_result pack_decode(const pack_head &head, const pack_payloads &in, firmware_bundle *fw,
                               pack_sums *sums, FILE *msgs)
{
    if (head.magic != PACK_MAGIC) {
        fputs("PACK invalid signature\n", msgs);
        return PACK_DECODE_BAD_MAGIC;
    }
    firmware_bundle decoded;
    pack_sums found{};
    decode_run run{&head, "", msgs, &decoded, &found};
    pack_decode_result rc = PACK_DECODE_OK;
    switch (head.version) {
    case PACK_VERSION_BROKEN:
        fputs("PACK version 0 not supported. Where did you get that from anyway?  We never even "
              "released a working binary with this broken PACK format!\n",
              msgs);
        return PACK_DECODE_VERSION0;
    case PACK_VERSION_HEX:
        fputs("PACK-V1 (IHEX) detected.\n", msgs);
        run.tag = "PACK-V1";
        rc = decode_v1(run, in);
        break;
    case PACK_VERSION_BINARY:
        fputs("PACK-V2 (BIN) detected.\n", msgs);
        run.tag = "PACK-V2";
        rc = decode_v2(run, in);
        break;
    case PACK_VERSION_BZIP2:
        fputs("PACK-V3 (BZ2-BIN) detected.\n", msgs);
        run.tag = "PACK-V3";
        rc = decode_v3(run, in);
        break;
    default:
        fprintf(msgs, "unsupported PACK version %d. Please update this tool!\n",
                static_cast<int>(head.version));
        return PACK_DECODE_BAD_VERSION;
    }
    if (sums)
        *sums = found;
    if (rc == PACK_DECODE_OK)
        *fw = std::move(decoded);
    return rc;
}
