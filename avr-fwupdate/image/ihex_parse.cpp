#include "ihex.h"

#include "owners.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr uint32_t BLOCK_SIZE = 256;        // bytes covered by one block map entry
constexpr uint32_t MAX_SEGMENT_DATALEN = 8; // longer segment values cannot be held
constexpr uint32_t LINEAR_DATALEN = 2;      // an extended linear address is 16 bits
constexpr unsigned char NOT_HEX = 0xFF;

enum record_type : uint32_t {
    REC_DATA = 0,
    REC_END_OF_FILE = 1,
    REC_EXT_SEGMENT = 2,
    REC_EXT_LINEAR = 4,
};

struct hex_digit_table {
    unsigned char value[256];
};

constexpr hex_digit_table make_digit_table()
{
    hex_digit_table t{};
    for (int c = 0; c < 256; ++c)
        t.value[c] = NOT_HEX;
    for (int c = '0'; c <= '9'; ++c)
        t.value[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        t.value[c] = static_cast<unsigned char>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        t.value[c] = static_cast<unsigned char>(c - 'A' + 10);
    return t;
}

constexpr hex_digit_table digit_table = make_digit_table();

inline unsigned digit_of(char c)
{
    return digit_table.value[static_cast<unsigned char>(c)];
}

// The byte at pos, read as two hex digits that are already known to be valid.
inline uint32_t byte_at(const char *pos)
{
    return (digit_of(pos[0]) << 4) | digit_of(pos[1]);
}

// Reads one field at cur->pos and moves the cursor past it.
inline bool get(parse_cursor *cur, int digits, uint32_t *value)
{
    const char *next = ihex_get_field(cur->pos, digits, cur, value);
    if (!next)
        return false;
    cur->pos = next;
    return true;
}

// Offset of the cursor in the text: where the next field starts.
inline int offset_of(const parse_cursor *cur, uint32_t text_len)
{
    return static_cast<int>(text_len - cur->chars_left);
}

// Moves past the next ':'; false, with the whole rest consumed, when the text ends first.
inline bool scan_to_record(parse_cursor *cur)
{
    const void *colon = cur->chars_left ? memchr(cur->pos, ':', cur->chars_left) : nullptr;
    if (!colon) {
        cur->pos += cur->chars_left;
        cur->chars_left = 0;
        return false;
    }
    uint32_t passed = static_cast<uint32_t>(static_cast<const char *>(colon) - cur->pos) + 1;
    cur->pos += passed;
    cur->chars_left -= passed;
    return true;
}

// Sum of the header bytes of the current record, the start of its checksum.
inline uint32_t header_sum(const parse_cursor *cur)
{
    return cur->datalen + (cur->addr >> 8) + (cur->addr & 0xFF) + cur->rectype;
}

// Reads the checksum field and checks that all bytes of the record add up to 0 (mod 256).
bool check_record_sum(parse_cursor *cur, uint32_t text_len, uint32_t sum)
{
    int at = offset_of(cur, text_len);
    if (!get(cur, 2, &cur->cksum)) {
        printf("HEX: parse error getting 'addr' at %d\n", at);
        return false;
    }
    if (((sum + cur->cksum) & 0xFF) != 0) {
        printf("HEX: record checksum mismatch at %d\n", at);
        return false;
    }
    return true;
}

struct image_out {
    unsigned char *image;
    unsigned char *map;
    uint32_t limit; // bytes of the image that a record may write
};

bool parse_data_record(parse_cursor *cur, uint32_t text_len, const image_out &out, int addr_at)
{
    uint64_t start = static_cast<uint64_t>(cur->segment_base) + cur->addr;
    uint64_t end = start + cur->datalen;
    if (end > out.limit) {
        uint64_t first_outside = start > out.limit || cur->datalen == 0 ? start : out.limit;
        printf("HEX: data at 0x%llX beyond image size 0x%lX at %d\n",
               static_cast<unsigned long long>(first_outside),
               static_cast<unsigned long>(out.limit), addr_at);
        return false;
    }
    if (cur->datalen > 0)
        memset(out.map + start / BLOCK_SIZE, 1, (end - 1) / BLOCK_SIZE - start / BLOCK_SIZE + 1);

    uint32_t sum = header_sum(cur);
    unsigned char *dst = out.image + start;
    for (uint32_t i = 0; i < cur->datalen; ++i) {
        if (!get(cur, 2, &cur->databyte)) {
            printf("HEX: parse error getting 'addr' at %d\n", offset_of(cur, text_len));
            return false;
        }
        dst[i] = static_cast<unsigned char>(cur->databyte);
        sum += cur->databyte;
    }
    if (!check_record_sum(cur, text_len, sum))
        return false;

    uint32_t record_end = static_cast<uint32_t>(end);
    if (record_end > cur->end_addr)
        cur->end_addr = record_end;
    return true;
}

bool parse_end_record(parse_cursor *cur, uint32_t text_len)
{
    uint32_t sum = header_sum(cur);
    for (uint32_t i = 0; i < cur->datalen; ++i) {
        if (!get(cur, 2, &cur->databyte)) {
            printf("HEX: parse error getting 'addr' at %d\n", offset_of(cur, text_len));
            return false;
        }
        sum += cur->databyte;
    }
    return check_record_sum(cur, text_len, sum);
}

// Reads the value of an extended segment or linear address record: all its data digits as one
// number (modulo 2^32), followed by the checked record checksum.
bool parse_base_value(parse_cursor *cur, uint32_t text_len, uint32_t *value)
{
    const char *digits = cur->pos;
    int at = offset_of(cur, text_len);
    if (!get(cur, static_cast<int>(2 * cur->datalen), value)) {
        printf("HEX: parse error getting 'segment' at %d\n", at);
        return false;
    }
    uint32_t sum = header_sum(cur);
    for (uint32_t i = 0; i < cur->datalen; ++i)
        sum += byte_at(digits + 2 * i);
    return check_record_sum(cur, text_len, sum);
}

} // namespace

const char *ihex_get_field(const char *pos, int digits, parse_cursor *cur, uint32_t *value)
{
    if (digits < 0 || cur->chars_left < static_cast<uint32_t>(digits))
        return nullptr;
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        unsigned d = digit_of(pos[i]);
        if (d == NOT_HEX)
            return nullptr;
        v = (v << 4) | d;
    }
    *value = v;
    cur->chars_left -= static_cast<uint32_t>(digits);
    return pos + digits;
}

int ihex_parse(const char *text, std::size_t len, unsigned char **image, unsigned char **block_map,
               std::size_t image_size, std::size_t block_count, uint32_t *end_addr)
{
    byte_buffer img(static_cast<unsigned char *>(malloc(image_size)));
    if (!img)
        return IHEX_NO_MEM_IMAGE;
    memset(img.get(), 0xFF, image_size);
    byte_buffer map(static_cast<unsigned char *>(malloc(block_count)));
    if (!map)
        return IHEX_NO_MEM_MAP;
    memset(map.get(), 0, block_count);

    // Offsets and counts are 32-bit; a text of 4 GiB or more cannot be walked.
    uint32_t text_len = static_cast<uint32_t>(len);
    if (text_len != len) {
        puts("HEX: text too long");
        return IHEX_PARSE_ERROR;
    }

    // A record may write only where both the image and its block map reach.
    uint64_t limit = image_size;
    if (limit > static_cast<uint64_t>(block_count) * BLOCK_SIZE)
        limit = static_cast<uint64_t>(block_count) * BLOCK_SIZE;
    if (limit > UINT32_MAX)
        limit = UINT32_MAX;
    const image_out out{img.get(), map.get(), static_cast<uint32_t>(limit)};

    parse_cursor cur{};
    cur.pos = text;
    cur.chars_left = text_len;
    cur.segment_base = 0;
    cur.end_addr = 0;

    for (;;) {
        if (!scan_to_record(&cur)) {
            printf("HEX: end of text at %d without end-of-file record\n",
                   offset_of(&cur, text_len));
            return IHEX_PARSE_ERROR;
        }
        if (!get(&cur, 2, &cur.datalen)) {
            printf("HEX: parse error getting 'datalen' at %d\n", offset_of(&cur, text_len));
            return IHEX_PARSE_ERROR;
        }
        int addr_at = offset_of(&cur, text_len);
        if (!get(&cur, 4, &cur.addr) || !get(&cur, 2, &cur.rectype)) {
            printf("HEX: parse error getting 'addr' at %d\n", offset_of(&cur, text_len));
            return IHEX_PARSE_ERROR;
        }

        uint32_t base = 0;
        switch (cur.rectype) {
        case REC_DATA:
            if (!parse_data_record(&cur, text_len, out, addr_at))
                return IHEX_PARSE_ERROR;
            break;
        case REC_END_OF_FILE:
            if (!parse_end_record(&cur, text_len) || cur.end_addr == 0)
                return IHEX_PARSE_ERROR;
            if (end_addr)
                *end_addr = cur.end_addr;
            *image = img.release();
            *block_map = map.release();
            return IHEX_OK;
        case REC_EXT_SEGMENT:
            if (cur.datalen > MAX_SEGMENT_DATALEN) {
                puts("segment offset too large!");
                return IHEX_PARSE_ERROR;
            }
            if (!parse_base_value(&cur, text_len, &base))
                return IHEX_PARSE_ERROR;
            cur.segment_base = base << 4;
            break;
        case REC_EXT_LINEAR:
            if (cur.datalen != LINEAR_DATALEN) {
                printf("HEX: extended linear address record with data length %lu at %d\n",
                       static_cast<unsigned long>(cur.datalen), addr_at - 2);
                return IHEX_PARSE_ERROR;
            }
            if (!parse_base_value(&cur, text_len, &base))
                return IHEX_PARSE_ERROR;
            cur.segment_base = base << 16;
            break;
        default:
            // Start addresses (3, 5) mean nothing to the boot loader; the scan skips the rest.
            printf("UNSUPPORTED RECTYPE %lu\n", static_cast<unsigned long>(cur.rectype));
            break;
        }
    }
}
