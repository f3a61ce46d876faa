// Any bytes as a PACK file held in memory, handed to the decoder the way the updater's reader
// does: the head decoded from the first 32 bytes, the payloads taken from the rest.
//
// Input: one mode byte, then the file. Mode bit 0 recomputes the EEPROM checksum in the head and
// bit 1 the flash checksum, so mutated payloads still reach the parsers and the decompressor.
#include "firmware_image.h"
#include "pack_decode.h"
#include "pack_format.h"

#include <cstdio>
#include <cstdlib>

namespace
{

void fix_checksums(unsigned char mode, const uint8_t *file, std::size_t size, pack_head *head)
{
    const uint8_t *payload = file + PACK_HEAD_SIZE;
    std::size_t left = size - PACK_HEAD_SIZE;
    if ((mode & 1) && head->eep_size <= left)
        head->eep_cksum = pack_checksum(payload, head->eep_size);
    if ((mode & 2) && head->eep_size <= left && head->fw_size <= left - head->eep_size)
        head->fw_cksum = pack_checksum(payload + head->eep_size, head->fw_size);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 + PACK_HEAD_SIZE)
        return 0;
    const unsigned char mode = data[0];
    const uint8_t *file = data + 1;
    const std::size_t file_size = size - 1;

    pack_head head;
    pack_head_decode(file, &head);
    fix_checksums(mode, file, file_size, &head);

    // The sizes come from the head as they are: the decoder refuses those above its limits.
    const pack_payloads in =
        pack_payloads_in(head, file + PACK_HEAD_SIZE, file_size - PACK_HEAD_SIZE);
    firmware_bundle fw;
    pack_sums sums{};
    const pack_decode_result rc = pack_decode(head, in, &fw, &sums);
    if (rc == PACK_DECODE_OK) {
        if (!fw.fw_image || !fw.eep_image || !fw.fw_map || !fw.eep_map)
            abort();
        // Whole images: touching every byte lets ASan catch a short allocation.
        unsigned sum = 0;
        for (std::size_t i = 0; i < FW_IMAGE_SIZE; i += 64)
            sum += fw.fw_image.get()[i] + fw.fw_image.get()[FW_IMAGE_SIZE - 1];
        for (std::size_t i = 0; i < EEP_IMAGE_SIZE; ++i)
            sum += fw.eep_image.get()[i];
        for (std::size_t i = 0; i < FW_BLOCK_COUNT; ++i)
            sum += fw.fw_map.get()[i] > 1;
        for (std::size_t i = 0; i < EEP_BLOCK_COUNT; ++i)
            sum += fw.eep_map.get()[i] > 1;
        if (head.version != 1 && sum == 0xFFFFFFFF)
            abort();
        if (sums.eep != head.eep_cksum)
            abort(); // a stored EEPROM payload that does not match its head never decodes
    } else if (fw.fw_image || fw.eep_image || fw.fw_map || fw.eep_map) {
        abort();
    }
    return 0;
}
