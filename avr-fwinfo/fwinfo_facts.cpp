#include "fwinfo_facts.h"

#include "baud_table.h"
#include "fw_stamp.h"

void check_stamp(const unsigned char *eep_image, const unsigned char *eep_map,
                 const unsigned char *fw_image, stamp_facts *facts)
{
    const fw_stamp stamp = decode_fw_stamp(eep_image);
    *facts = stamp_facts{};
    facts->sum = stamp.sum;
    facts->length = stamp.length;
    facts->sent = eep_map[0] != 0;
    // The updater stamps the sum over the whole image but only the low 16 bits of its length:
    // an image of 64 KiB or more is told apart from a damaged one by the sum over the longer
    // lengths the stamp may stand for.
    for (uint32_t len = facts->length; len <= FW_IMAGE_SIZE; len += FW_STAMP_LENGTH_SPAN) {
        if (flash_word_sum(fw_image, len) == facts->sum) {
            facts->matches = true;
            facts->covered_length = len;
            facts->wrapped = len != facts->length;
            facts->computed_sum = facts->sum;
            return;
        }
    }
    facts->computed_sum = flash_word_sum(fw_image, facts->length);
}

bool hardware_id_matches(const unsigned char *hardware_id, const char *expected)
{
    unsigned char wanted[HARDWARE_ID_LEN] = {};
    for (std::size_t i = 0; i < HARDWARE_ID_LEN && expected[i] != '\0'; ++i)
        wanted[i] = static_cast<unsigned char>(expected[i]);
    for (std::size_t i = 0; i < HARDWARE_ID_LEN; ++i) {
        if (hardware_id[i] != wanted[i])
            return false;
        if (wanted[i] == 0)
            return true;
    }
    return true;
}

void collect_blocks(const unsigned char *block_map, std::size_t block_count, block_facts *facts)
{
    facts->count = 0;
    facts->range_count = 0;
    bool in_run = false;
    for (std::size_t b = 0; b < block_count; ++b) {
        if (block_map[b] == 0) {
            in_run = false;
            continue;
        }
        ++facts->count;
        const uint32_t last = static_cast<uint32_t>((b + 1) * AVR_BLOCK_SIZE - 1);
        if (in_run) {
            facts->ranges[facts->range_count - 1].last = last;
        } else {
            facts->ranges[facts->range_count++] =
                block_range{static_cast<uint32_t>(b * AVR_BLOCK_SIZE), last};
            in_run = true;
        }
    }
}

uint32_t update_line_bytes(std::size_t blocks)
{
    return PREPARE_LINE_BYTES + VERSION_LINE_BYTES +
           static_cast<uint32_t>(blocks) * BLOCK_LINE_BYTES + END_LINE_BYTES;
}

uint32_t line_time_ms(uint32_t bytes, long baud)
{
    const uint64_t bit_ms = static_cast<uint64_t>(bytes) * BIT_TIMES_PER_BYTE * 1000;
    const uint64_t rate = static_cast<uint64_t>(baud);
    return static_cast<uint32_t>((bit_ms + rate / 2) / rate);
}

std::size_t updater_baud_rates(long *rates, std::size_t max)
{
    std::size_t n = 0;
    for (const baud_entry &e : BAUD_TABLE)
        if (n < max)
            rates[n++] = e.baud;
    return n;
}
