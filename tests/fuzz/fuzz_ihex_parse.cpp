// Any text as a flash or an EEPROM HEX file: the parser must stay inside its buffers and report
// success only with a consistent image and map.
#include "firmware_image.h"
#include "ihex.h"

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
    const target targets[] = {{FW_IMAGE_SIZE, FW_BLOCK_COUNT}, {EEP_IMAGE_SIZE, EEP_BLOCK_COUNT}};
    for (const target &t : targets) {
        unsigned char *image = nullptr;
        unsigned char *map = nullptr;
        uint32_t end_addr = 0;
        int rc = ihex_parse(reinterpret_cast<const char *>(data), size, &image, &map, t.image_size,
                            t.block_count, &end_addr);
        if (rc == 0) {
            if (!image || !map || end_addr == 0 || end_addr > t.image_size)
                abort();
            // Every byte that differs from the erased value lies in a flagged block.
            for (std::size_t i = 0; i < t.image_size; ++i)
                if (image[i] != 0xFF && !map[i / AVR_BLOCK_SIZE])
                    abort();
        } else if (rc < 5 || rc > 7 || image || map) {
            abort();
        }
        free(image);
        free(map);
    }
    return 0;
}
