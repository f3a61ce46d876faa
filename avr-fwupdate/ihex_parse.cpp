// Placeholder until the loader lands.
#include "ihex.h"

const char *ihex_get_field(const char *, int, parse_cursor *, uint32_t *) { return nullptr; }
int ihex_parse(const char *, std::size_t, unsigned char **, unsigned char **, std::size_t, std::size_t, uint32_t *) { return IHEX_PARSE_ERROR; }
