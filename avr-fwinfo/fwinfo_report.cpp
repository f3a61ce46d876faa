#include "fwinfo_report.h"

#include <cstdio>

void build_report(const fw_input &in, fw_report *report)
{
    check_stamp(in.images.eep_image.get(), in.images.eep_map.get(), in.images.fw_image.get(),
                &report->stamp);
    collect_blocks(in.images.fw_map.get(), FW_BLOCK_COUNT, &report->flash_blocks);
    collect_blocks(in.images.eep_map.get(), EEP_BLOCK_COUNT, &report->eep_blocks);
    report->line_bytes = update_line_bytes(report->flash_blocks.count + report->eep_blocks.count);
    report->rate_count = updater_baud_rates(report->rates, MAX_BAUD_RATES);
    for (std::size_t i = 0; i < report->rate_count; ++i)
        report->line_ms[i] = line_time_ms(report->line_bytes, report->rates[i]);

    if (!report->stamp.matches)
        report->verdict =
            report->stamp.wrapped_length != 0 ? VERDICT_STAMP_WRAPPED : VERDICT_STAMP_DAMAGED;
    else if (in.kind == INPUT_PACK && in.fw_payload.cksum != in.fw_payload.head_cksum)
        report->verdict = VERDICT_FLASH_CKSUM;
    else
        report->verdict = VERDICT_OK;
}

int verdict_exit_code(fwinfo_verdict verdict)
{
    switch (verdict) {
    case VERDICT_OK:
    case VERDICT_STAMP_WRAPPED:
        return FWINFO_OK;
    case VERDICT_STAMP_DAMAGED:
        return FWINFO_STAMP_MISMATCH;
    case VERDICT_FLASH_CKSUM:
        return FWINFO_FLASH_CKSUM_MISMATCH;
    }
    return FWINFO_STAMP_MISMATCH;
}

void format_verdict(const fw_report &report, char *buf, std::size_t size)
{
    switch (report.verdict) {
    case VERDICT_OK:
        snprintf(buf, size, "OK: the stamp matches the flash image to send");
        return;
    case VERDICT_STAMP_DAMAGED:
        snprintf(buf, size,
                 "STAMP MISMATCH: the flash word sum in EEPROM bytes 16-23 does not match the "
                 "flash image to send; the file is damaged or inconsistent");
        return;
    case VERDICT_STAMP_WRAPPED:
        snprintf(buf, size,
                 "OK: the stamp matches the flash image to send; its sum covers 0x%05X bytes, of "
                 "which the length field keeps the low 16 bits (0x%04X)",
                 static_cast<unsigned>(report.stamp.wrapped_length),
                 static_cast<unsigned>(report.stamp.length));
        return;
    case VERDICT_FLASH_CKSUM:
        snprintf(buf, size,
                 "FLASH CHECKSUM MISMATCH: the stored flash payload does not match the checksum "
                 "in the PACK head; the file is damaged");
        return;
    }
}

void format_ident(const unsigned char *ident, char *buf, std::size_t size)
{
    // Digits and date are signed bytes, so an erased record shows -1 as the updater does.
    auto number = [ident](std::size_t at) {
        return static_cast<int>(static_cast<signed char>(ident[at]));
    };
    snprintf(buf, size, "%1d%1d%1d Built on (DD.MM.YYYY) %02d.%02d.20%02d for Hardware ", number(1),
             number(2), number(3), number(6), number(5), number(4));
}
