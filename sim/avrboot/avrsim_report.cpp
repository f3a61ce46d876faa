#include "avrsim_report.h"

#include <cstdarg>
#include <cstdio>

namespace
{

__attribute__((format(printf, 2, 3))) void append(std::string *s, const char *fmt, ...)
{
    char text[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    *s += text;
}

void append_escaped(std::string *s, const unsigned char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] == '\r')
            *s += "\\r";
        else if (p[i] >= 0x20 && p[i] < 0x7F)
            *s += (char)p[i];
        else
            append(s, "\\x%02X", p[i]);
    }
}

} // namespace

void avrsim_log_session(std::string *log, const avrsim *sim, avrsim_end end, int session,
                        int sessions)
{
    if (sessions > 1)
        append(log, "session %d of %d: %s\n", session, sessions, avrsim_end_name(end));
    for (const avrsim_exchange &ex : sim->exchanges) {
        append(log, "%5d ", ex.number);
        append_escaped(log, reinterpret_cast<const unsigned char *>(ex.command.data()),
                       ex.command.size());
        append(log, " attempt %d, %zu bytes in, fault %s, answer \"", ex.attempt,
               ex.received.size(), avrsim_fault_name(ex.fault));
        append_escaped(log, ex.answer.data(), ex.answer.size());
        *log += "\"\n";
    }
    for (const avrsim_violation &v : sim->violations)
        append(log, "violation at byte %zu: %s\n", v.offset, v.what.c_str());
}

void avrsim_print_summary(const avrsim *sim, avrsim_end end, int session, int sessions)
{
    int flash_stored = 0;
    int eeprom_stored = 0;
    for (const avrsim_block_write &w : sim->writes)
        ++(w.memory == AVRSIM_FLASH ? flash_stored : eeprom_stored);
    if (sessions > 1)
        printf("avr-bootsim: session %d of %d: %s\n", session, sessions, avrsim_end_name(end));
    else
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
