#include "avrsim_report.h"

#include <cstdio>

namespace
{

void print_escaped(FILE *f, const unsigned char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] == '\r')
            fputs("\\r", f);
        else if (p[i] >= 0x20 && p[i] < 0x7F)
            fputc(p[i], f);
        else
            fprintf(f, "\\x%02X", p[i]);
    }
}

} // namespace

int avrsim_write_log(const char *path, const avrsim *sim)
{
    FILE *f = fopen(path, "w");
    if (!f)
        return -1;
    for (const avrsim_exchange &ex : sim->exchanges) {
        fprintf(f, "%5d ", ex.number);
        print_escaped(f, reinterpret_cast<const unsigned char *>(ex.command.data()),
                      ex.command.size());
        fprintf(f, " attempt %d, %zu bytes in, fault %s, answer \"", ex.attempt, ex.received.size(),
                avrsim_fault_name(ex.fault));
        print_escaped(f, ex.answer.data(), ex.answer.size());
        fputs("\"\n", f);
    }
    for (const avrsim_violation &v : sim->violations)
        fprintf(f, "violation at byte %zu: %s\n", v.offset, v.what.c_str());
    return fclose(f) == 0 ? 0 : -1;
}

void avrsim_print_summary(const avrsim *sim, avrsim_end end)
{
    int flash_stored = 0;
    int eeprom_stored = 0;
    for (const avrsim_block_write &w : sim->writes)
        ++(w.memory == AVRSIM_FLASH ? flash_stored : eeprom_stored);
    printf("avr-bootsim: %s\n", avrsim_end_name(end));
    printf("exchanges %zu: prepare %d, version %d, flash blocks %d, eeprom blocks %d, end %d\n",
           sim->exchanges.size(), sim->counts[AVRSIM_CMD_PREPARE], sim->counts[AVRSIM_CMD_VERSION],
           sim->counts[AVRSIM_CMD_FLASH_BLOCK], sim->counts[AVRSIM_CMD_EEPROM_BLOCK],
           sim->counts[AVRSIM_CMD_END]);
    printf("stored blocks: flash %d, eeprom %d\n", flash_stored, eeprom_stored);
    printf("stamp check: %s\n", sim->verdict == AVRSIM_VERDICT_OK    ? "match"
                                : sim->verdict == AVRSIM_VERDICT_ERR ? "mismatch"
                                                                     : "not asked");
    printf("protocol violations: %zu\n", sim->violations.size());
    for (const avrsim_violation &v : sim->violations)
        printf("  at byte %zu: %s\n", v.offset, v.what.c_str());
    fflush(stdout);
}
