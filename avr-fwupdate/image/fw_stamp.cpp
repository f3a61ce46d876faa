#include "fw_stamp.h"

#include "byte_order.h"

namespace
{
constexpr std::size_t SUM_AT = 0;        // in the stamp
constexpr std::size_t ZEROS_AT = 4;      // two bytes, always 0
constexpr std::size_t LENGTH_AT = 6;     // two bytes
constexpr uint32_t LENGTH_MASK = 0xFFFC; // whole words, 16 bits
} // namespace

uint32_t flash_word_sum(const unsigned char *fw_image, uint32_t length)
{
    uint32_t sum = 0;
    const uint32_t words = length / 4; // a trailing partial word is not summed
    for (uint32_t w = 0; w < words; ++w)
        sum += get_le32(fw_image + 4 * static_cast<std::size_t>(w));
    return sum;
}

void stamp_fw_checksum(unsigned char *eep_image, const unsigned char *fw_image, uint32_t fw_len)
{
    unsigned char *stamp = eep_image + FW_STAMP_OFFSET;
    put_be32(stamp + SUM_AT, flash_word_sum(fw_image, fw_len));
    stamp[ZEROS_AT] = 0;
    stamp[ZEROS_AT + 1] = 0;
    put_le16(stamp + LENGTH_AT, static_cast<uint16_t>(fw_len & LENGTH_MASK));
}

fw_stamp decode_fw_stamp(const unsigned char *eep_image)
{
    const unsigned char *stamp = eep_image + FW_STAMP_OFFSET;
    return fw_stamp{get_be32(stamp + SUM_AT), get_le16(stamp + LENGTH_AT)};
}
