#include "pack_format.h"

#include "byte_order.h"

namespace
{

static_assert(sizeof(pack_head) == PACK_HEAD_SIZE, "pack_head must match its 32 file bytes");

constexpr std::size_t PACK_WORD_SIZE = 4; // bytes of each head field in the file

} // namespace

void pack_head_encode(const pack_head *head, unsigned char bytes[PACK_HEAD_SIZE])
{
    const uint32_t words[] = {head->magic,     head->version,  head->eep_size,    head->fw_size,
                              head->eep_cksum, head->fw_cksum, head->fw_raw_size, head->reserved};
    static_assert(sizeof words / sizeof words[0] * PACK_WORD_SIZE == PACK_HEAD_SIZE,
                  "every head field is encoded");
    for (std::size_t i = 0; i < sizeof words / sizeof words[0]; ++i)
        put_le32(bytes + i * PACK_WORD_SIZE, words[i]);
}

void pack_head_decode(const unsigned char bytes[PACK_HEAD_SIZE], pack_head *head)
{
    head->magic = get_le32(bytes + 0);
    head->version = get_le32(bytes + 4);
    head->eep_size = get_le32(bytes + 8);
    head->fw_size = get_le32(bytes + 12);
    head->eep_cksum = get_le32(bytes + 16);
    head->fw_cksum = get_le32(bytes + 20);
    head->fw_raw_size = get_le32(bytes + 24);
    head->reserved = get_le32(bytes + 28);
}

uint32_t pack_checksum(const unsigned char *data, std::size_t len)
{
    uint32_t h = PACK_CHECKSUM_SEED;
    for (std::size_t i = 0; i < len; ++i) {
        // Bytes 0x80-0xFF widen with their sign: files made by earlier packers depend on it.
        uint32_t widened =
            static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(data[i])));
        h ^= (h << 8) | widened;
    }
    return h;
}
