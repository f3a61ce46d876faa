#include "fwinfo_report.h"

#include "avr_protocol.h"
#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr std::size_t SHOWN_HWID_SIZE = HARDWARE_ID_LEN * SHOWN_BYTE_MAX + 1;

fwinfo_verdict judge(const fw_input &in, const fw_report &report)
{
    if (!report.stamp.matches)
        return VERDICT_STAMP_DAMAGED;
    if (in.kind == INPUT_PACK && in.fw_payload.cksum != in.fw_payload.head_cksum)
        return VERDICT_FLASH_CKSUM;
    if (report.hardware.expected && !report.hardware.matches)
        return VERDICT_HARDWARE;
    return report.stamp.wrapped ? VERDICT_STAMP_WRAPPED : VERDICT_OK;
}

} // namespace

void build_report(const fw_input &in, const char *expected_hwid, fw_report *report)
{
    check_stamp(in.images.eep_image.get(), in.images.eep_map.get(), in.images.fw_image.get(),
                &report->stamp);
    collect_blocks(in.images.fw_map.get(), FW_BLOCK_COUNT, &report->flash_blocks);
    collect_blocks(in.images.eep_map.get(), EEP_BLOCK_COUNT, &report->eep_blocks);
    report->line_bytes = update_line_bytes(report->flash_blocks.count + report->eep_blocks.count);
    report->rate_count = updater_baud_rates(report->rates, MAX_BAUD_RATES);
    for (std::size_t i = 0; i < report->rate_count; ++i)
        report->line_ms[i] = line_time_ms(report->line_bytes, report->rates[i]);

    memcpy(report->hardware_id, in.images.eep_image.get() + HARDWARE_ID_OFFSET, HARDWARE_ID_LEN);
    report->hardware.expected = expected_hwid;
    report->hardware.matches =
        expected_hwid != nullptr && hardware_id_matches(report->hardware_id, expected_hwid);
    report->verdict = judge(in, *report);
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
    case VERDICT_HARDWARE:
        return FWINFO_HARDWARE_MISMATCH;
    }
    return FWINFO_STAMP_MISMATCH;
}

void format_verdict(const fw_report &report, char *buf, std::size_t size)
{
    char firmware_hwid[SHOWN_HWID_SIZE] = "";
    char expected_hwid[SHOWN_HWID_SIZE] = "";
    switch (report.verdict) {
    case VERDICT_OK:
        snprintf(buf, size, "OK: the stamp matches the flash image to send");
        return;
    case VERDICT_STAMP_WRAPPED:
        snprintf(buf, size,
                 "OK: the stamp matches the flash image to send; its sum covers 0x%05X bytes, of "
                 "which the length field keeps the low 16 bits (0x%04X)",
                 static_cast<unsigned>(report.stamp.covered_length),
                 static_cast<unsigned>(report.stamp.length));
        return;
    case VERDICT_STAMP_DAMAGED:
        snprintf(buf, size,
                 "STAMP MISMATCH: the flash word sum in EEPROM bytes 16-23 does not match the "
                 "flash image to send; the file is damaged or inconsistent");
        return;
    case VERDICT_FLASH_CKSUM:
        snprintf(buf, size,
                 "FLASH CHECKSUM MISMATCH: the stored flash payload does not match the checksum "
                 "in the PACK head; the file is damaged");
        return;
    case VERDICT_HARDWARE:
        append_shown(firmware_hwid, sizeof firmware_hwid, report.hardware_id, HARDWARE_ID_LEN);
        append_shown(expected_hwid, sizeof expected_hwid, report.hardware.expected,
                     strlen(report.hardware.expected));
        snprintf(buf, size, "HARDWARE MISMATCH: the firmware is for hardware %s, not %s",
                 firmware_hwid, expected_hwid);
        return;
    }
}

void format_load_failure(int code, char *buf, std::size_t size)
{
    snprintf(buf, size,
             "LOAD FAILED: the input does not load; the updater stops on it with status %d", code);
}

void format_ident_line(const unsigned char *ident, char *buf, std::size_t size)
{
    // Digits and date are signed bytes, so an erased record shows -1 as the updater does.
    auto number = [ident](std::size_t at) {
        return static_cast<int>(static_cast<signed char>(ident[at]));
    };
    char letter[SHOWN_BYTE_MAX + 1];
    shown_byte(ident[0], letter);
    snprintf(buf, size, "%s: %s%1d%1d%1d Built on (DD.MM.YYYY) %02d.%02d.20%02d for Hardware ",
             NEW_FIRMWARE_TITLE, letter, number(1), number(2), number(3), number(6), number(5),
             number(4));
    append_shown(buf, size, ident + HARDWARE_ID_OFFSET, HARDWARE_ID_LEN);
}
