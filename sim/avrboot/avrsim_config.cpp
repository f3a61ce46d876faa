// Defaults and identification records of the simulated boot loader.
#include "avrsim_config.h"

#include <cstring>

namespace
{

constexpr std::size_t IDENT_HARDWARE_OFFSET = 8;
constexpr std::size_t IDENT_HARDWARE_SIZE = 8;

} // namespace

avrsim_config avrsim_default_config()
{
    avrsim_config cfg;
    memset(cfg.fw_ident, ERASED_BYTE, sizeof cfg.fw_ident);
    return cfg;
}

void avrsim_make_ident(unsigned char ident[AVRSIM_IDENT_SIZE], char letter, int d1, int d2, int d3,
                       int year, int month, int day, const char *hardware_id)
{
    memset(ident, 0, AVRSIM_IDENT_SIZE);
    ident[0] = (unsigned char)letter;
    ident[1] = (unsigned char)d1;
    ident[2] = (unsigned char)d2;
    ident[3] = (unsigned char)d3;
    ident[4] = (unsigned char)year;
    ident[5] = (unsigned char)month;
    ident[6] = (unsigned char)day;
    if (hardware_id)
        memcpy(ident + IDENT_HARDWARE_OFFSET, hardware_id,
               strnlen(hardware_id, IDENT_HARDWARE_SIZE));
}
