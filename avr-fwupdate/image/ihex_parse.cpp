#include "ihex_parse.h"

#include "erased_byte.h"
#include "firmware_image.h"
#include "owners.h"

#include <cstdlib>
#include <cstring>

namespace
{

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

struct image_out {
    unsigned char *image;
    unsigned char *map;
    uint32_t limit; // bytes of the image that a record may write
};

// One walk over one text: the cursor, where records go and where messages go.
struct parse_run {
    parse_cursor cur;
    uint32_t text_len;
    image_out out;
    FILE *msgs;
};

// How the walk goes on after a record.
enum record_step { STEP_NEXT, STEP_END, STEP_FAILED };

// Reads one field at the cursor and moves it past the field.
inline bool get(parse_run *run, int digits, uint32_t *value)
{
    const char *next = ihex_get_field(run->cur.pos, digits, &run->cur, value);
    if (!next)
        return false;
    run->cur.pos = next;
    return true;
}

// Offset of the cursor in the text: where the next field starts.
inline int offset_of(const parse_run *run)
{
    return static_cast<int>(run->text_len - run->cur.chars_left);
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
bool check_record_sum(parse_run *run, uint32_t sum)
{
    int at = offset_of(run);
    if (!get(run, 2, &run->cur.cksum)) {
        fprintf(run->msgs, "HEX: parse error getting 'addr' at %d\n", at);
        return false;
    }
    if (((sum + run->cur.cksum) & 0xFF) != 0) {
        fprintf(run->msgs, "HEX: record checksum mismatch at %d\n", at);
        return false;
    }
    return true;
}

// Reads the record's data bytes into dst (when given) and adds them to *sum.
bool read_data_bytes(parse_run *run, unsigned char *dst, uint32_t *sum)
{
    for (uint32_t i = 0; i < run->cur.datalen; ++i) {
        if (!get(run, 2, &run->cur.databyte)) {
            fprintf(run->msgs, "HEX: parse error getting 'addr' at %d\n", offset_of(run));
            return false;
        }
        if (dst)
            dst[i] = static_cast<unsigned char>(run->cur.databyte);
        *sum += run->cur.databyte;
    }
    return true;
}

bool parse_data_record(parse_run *run, int addr_at)
{
    parse_cursor *cur = &run->cur;
    const image_out &out = run->out;
    uint64_t start = static_cast<uint64_t>(cur->segment_base) + cur->addr;
    uint64_t end = start + cur->datalen;
    if (end > out.limit) {
        uint64_t first_outside = start > out.limit || cur->datalen == 0 ? start : out.limit;
        fprintf(run->msgs, "HEX: data at 0x%llX beyond image size 0x%lX at %d\n",
                static_cast<unsigned long long>(first_outside),
                static_cast<unsigned long>(out.limit), addr_at);
        return false;
    }
    if (cur->datalen > 0)
        memset(out.map + start / AVR_BLOCK_SIZE, 1,
               (end - 1) / AVR_BLOCK_SIZE - start / AVR_BLOCK_SIZE + 1);

    uint32_t sum = header_sum(cur);
    if (!read_data_bytes(run, out.image + start, &sum) || !check_record_sum(run, sum))
        return false;

    uint32_t record_end = static_cast<uint32_t>(end);
    if (record_end > cur->end_addr)
        cur->end_addr = record_end;
    return true;
}

bool parse_end_record(parse_run *run)
{
    uint32_t sum = header_sum(&run->cur);
    return read_data_bytes(run, nullptr, &sum) && check_record_sum(run, sum);
}

// Reads the value of an extended segment or linear address record: all its data digits as one
// number (modulo 2^32), followed by the checked record checksum.
bool parse_base_value(parse_run *run, uint32_t *value)
{
    const char *digits = run->cur.pos;
    int at = offset_of(run);
    if (!get(run, static_cast<int>(2 * run->cur.datalen), value)) {
        fprintf(run->msgs, "HEX: parse error getting 'segment' at %d\n", at);
        return false;
    }
    uint32_t sum = header_sum(&run->cur);
    for (uint32_t i = 0; i < run->cur.datalen; ++i)
        sum += byte_at(digits + 2 * i);
    return check_record_sum(run, sum);
}

// Allocates the erased image and the empty block map.
ihex_result alloc_outputs(std::size_t image_size, std::size_t block_count, byte_buffer *image,
                          byte_buffer *map)
{
    image->reset(static_cast<unsigned char *>(malloc(image_size)));
    if (!*image)
        return IHEX_NO_MEM_IMAGE;
    memset(image->get(), ERASED_BYTE, image_size);
    map->reset(static_cast<unsigned char *>(malloc(block_count)));
    if (!*map)
        return IHEX_NO_MEM_MAP;
    memset(map->get(), 0, block_count);
    return IHEX_OK;
}

// A record may write only where both the image and its block map reach.
uint32_t write_limit(std::size_t image_size, std::size_t block_count)
{
    uint64_t limit = image_size;
    if (limit > static_cast<uint64_t>(block_count) * AVR_BLOCK_SIZE)
        limit = static_cast<uint64_t>(block_count) * AVR_BLOCK_SIZE;
    if (limit > UINT32_MAX)
        limit = UINT32_MAX;
    return static_cast<uint32_t>(limit);
}

// Finds the next record and reads its data length, address and type. *addr_at receives the
// offset of the address field.
bool read_record_head(parse_run *run, int *addr_at)
{
    if (!scan_to_record(&run->cur)) {
        fprintf(run->msgs, "HEX: end of text at %d without end-of-file record\n", offset_of(run));
        return false;
    }
    if (!get(run, 2, &run->cur.datalen)) {
        fprintf(run->msgs, "HEX: parse error getting 'datalen' at %d\n", offset_of(run));
        return false;
    }
    *addr_at = offset_of(run);
    if (!get(run, 4, &run->cur.addr) || !get(run, 2, &run->cur.rectype)) {
        fprintf(run->msgs, "HEX: parse error getting 'addr' at %d\n", offset_of(run));
        return false;
    }
    return true;
}

// The rest of the record whose head was just read, by its type.
record_step parse_record(parse_run *run, int addr_at)
{
    parse_cursor *cur = &run->cur;
    uint32_t base = 0;
    switch (cur->rectype) {
    case REC_DATA:
        return parse_data_record(run, addr_at) ? STEP_NEXT : STEP_FAILED;
    case REC_END_OF_FILE:
        return parse_end_record(run) && cur->end_addr != 0 ? STEP_END : STEP_FAILED;
    case REC_EXT_SEGMENT:
        if (cur->datalen > MAX_SEGMENT_DATALEN) {
            fputs("segment offset too large!\n", run->msgs);
            return STEP_FAILED;
        }
        if (!parse_base_value(run, &base))
            return STEP_FAILED;
        cur->segment_base = base << 4;
        return STEP_NEXT;
    case REC_EXT_LINEAR:
        if (cur->datalen != LINEAR_DATALEN) {
            fprintf(run->msgs, "HEX: extended linear address record with data length %lu at %d\n",
                    static_cast<unsigned long>(cur->datalen), addr_at - 2);
            return STEP_FAILED;
        }
        if (!parse_base_value(run, &base))
            return STEP_FAILED;
        cur->segment_base = base << 16;
        return STEP_NEXT;
    default:
        // Start addresses (3, 5) mean nothing to the boot loader; the scan skips the rest.
        fprintf(run->msgs, "UNSUPPORTED RECTYPE %lu\n", static_cast<unsigned long>(cur->rectype));
        return STEP_NEXT;
    }
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

ihex_result ihex_parse(const char *text, std::size_t len, unsigned char **image,
                       unsigned char **block_map, std::size_t image_size, std::size_t block_count,
                       uint32_t *end_addr, FILE *msgs)
{
    byte_buffer img;
    byte_buffer map;
    const ihex_result rc = alloc_outputs(image_size, block_count, &img, &map);
    if (rc != IHEX_OK)
        return rc;

    // Offsets and counts are 32-bit; a text of 4 GiB or more cannot be walked.
    const uint32_t text_len = static_cast<uint32_t>(len);
    if (text_len != len) {
        fputs("HEX: text too long\n", msgs);
        return IHEX_PARSE_ERROR;
    }
    parse_run run{};
    run.cur.pos = text;
    run.cur.chars_left = text_len;
    run.text_len = text_len;
    run.out = image_out{img.get(), map.get(), write_limit(image_size, block_count)};
    run.msgs = msgs;

    record_step step = STEP_NEXT;
    while (step == STEP_NEXT) {
        int addr_at = 0;
        step = read_record_head(&run, &addr_at) ? parse_record(&run, addr_at) : STEP_FAILED;
    }
    if (step == STEP_FAILED)
        return IHEX_PARSE_ERROR;
    if (end_addr)
        *end_addr = run.cur.end_addr;
    *image = img.release();
    *block_map = map.release();
    return IHEX_OK;
}
