// Placeholder until the loader lands.
#include "ihex.h"

int ihex_load_file(const char *, unsigned char **, unsigned char **, std::size_t, std::size_t, uint32_t *) { return IHEX_OPEN_FAILED; }
int load_firmware_pair(const char *, const char *, unsigned char **, unsigned char **, unsigned char **, unsigned char **, uint32_t *, uint32_t *) { return IHEX_OPEN_FAILED; }
void stamp_fw_checksum(unsigned char *, const unsigned char *, uint32_t) {}
