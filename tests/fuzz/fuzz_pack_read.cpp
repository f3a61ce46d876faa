// Any bytes as a PACK file, handed to pack_read the way the updater does: the head decoded from
// the first 32 bytes, the rest read from a real descriptor standing after them.
//
// Input: one mode byte, then the file. Mode bit 0 recomputes the EEPROM checksum in the head and
// bit 1 the flash checksum, so mutated payloads still reach the parsers and the decompressor.
#include "firmware_image.h"
#include "pack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace
{

int file_fd = -1;

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
    file_fd = memfd_create("pack", 0);
    if (file_fd < 0)
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
    if (ftruncate(file_fd, 0) != 0 ||
        pwrite(file_fd, file, file_size, 0) != static_cast<ssize_t>(file_size) ||
        lseek(file_fd, static_cast<off_t>(PACK_HEAD_SIZE), SEEK_SET) < 0)
        abort();

    pack_head head;
    pack_head_decode(file, &head);
    fix_checksums(mode, file, file_size, &head);

    unsigned char *fw = nullptr;
    unsigned char *eep = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
    int rc = pack_read(file_fd, &head, &fw, &eep, &fw_map, &eep_map);
    if (rc == 0) {
        if (!fw || !eep || !fw_map || !eep_map)
            abort();
        // Whole images: touching every byte lets ASan catch a short allocation.
        unsigned sum = 0;
        for (std::size_t i = 0; i < FW_IMAGE_SIZE; i += 64)
            sum += fw[i] + fw[FW_IMAGE_SIZE - 1];
        for (std::size_t i = 0; i < EEP_IMAGE_SIZE; ++i)
            sum += eep[i];
        for (std::size_t i = 0; i < FW_BLOCK_COUNT; ++i)
            sum += fw_map[i] > 1;
        for (std::size_t i = 0; i < EEP_BLOCK_COUNT; ++i)
            sum += eep_map[i] > 1;
        if (head.version != 1 && sum == 0xFFFFFFFF)
            abort();
    } else if (fw || eep || fw_map || eep_map) {
        abort();
    }
    free(fw);
    free(eep);
    free(fw_map);
    free(eep_map);
    return 0;
}
