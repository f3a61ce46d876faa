// Any text as a flash or an EEPROM HEX file: the parser must stay inside its buffers and report
// success only with a consistent image and map.
#include "firmware_image.h"
#include "ihex_parse.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The parser reports every error on stdout; millions of runs would drown the fuzzer's own.
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    struct target {
        std::size_t image_size;
        std::size_t block_count;
    };
    // The last byte of the input picks the image: flash for one input in four, EEPROM for the
    // others. The parser's paths are the same for both; only the bounds differ, and a flash
    // image costs a fresh 128 KiB allocation under ASan, which would slow every run down.
    const target flash = {FW_IMAGE_SIZE, FW_BLOCK_COUNT};
    const target eeprom = {EEP_IMAGE_SIZE, EEP_BLOCK_COUNT};
    const target &t = size > 0 && (data[size - 1] & 3) == 0 ? flash : eeprom;

    unsigned char *image = nullptr;
    unsigned char *map = nullptr;
    uint32_t end_addr = 0;
    const ihex_result rc = ihex_parse(reinterpret_cast<const char *>(data), size, &image, &map,
                                      t.image_size, t.block_count, &end_addr);
    if (rc == IHEX_OK) {
        if (!image || !map || end_addr == 0 || end_addr > t.image_size)
            abort();
        // Every byte that differs from the erased value lies in a flagged block.
        for (std::size_t i = 0; i < t.image_size; ++i)
            if (image[i] != 0xFF && !map[i / AVR_BLOCK_SIZE])
                abort();
    } else if ((rc != IHEX_NO_MEM_IMAGE && rc != IHEX_NO_MEM_MAP && rc != IHEX_PARSE_ERROR) ||
               image || map) {
        abort();
    }
    free(image);
    free(map);
    return 0;
}
