#include "fwinfo_text.h"

#include "avr_protocol.h"
#include "fwinfo_report.h"
#include "pack_format.h"
#include "shown_bytes.h"

#include <cstdio>

namespace
{

// Every line starts with a label as wide as the updater's title of the new firmware's line, so
// the identification line lines up with the rest.
void label(const char *text)
{
    printf("%-*s: ", static_cast<int>(sizeof NEW_FIRMWARE_TITLE - 1), text);
}

const char *pack_contents(uint32_t version)
{
    switch (version) {
    case PACK_VERSION_HEX:
        return "HEX texts";
    case PACK_VERSION_BINARY:
        return "binary images";
    default:
        return "binary EEPROM image, flash compressed with bzip2";
    }
}

void print_checksum(const payload_check &p)
{
    if (p.cksum == p.head_cksum)
        printf("checksum %08lx matches the head\n", static_cast<unsigned long>(p.cksum));
    else
        printf("checksum %08lx, the head says %08lx: MISMATCH\n",
               static_cast<unsigned long>(p.cksum), static_cast<unsigned long>(p.head_cksum));
}

void print_input(const fw_input &in)
{
    label("Input");
    if (in.kind == INPUT_HEX_PAIR) {
        printf("HEX pair, flash ");
        print_shown_text(in.flash_path);
        printf(", EEPROM ");
        print_shown_text(in.eep_path);
        putchar('\n');
        label("Flash image length");
        printf("%lu bytes (0x%05lX)\n", static_cast<unsigned long>(in.images.fw_len),
               static_cast<unsigned long>(in.images.fw_len));
        label("EEPROM image length");
        printf("%lu bytes (0x%03lX)\n", static_cast<unsigned long>(in.images.eep_len),
               static_cast<unsigned long>(in.images.eep_len));
        return;
    }
    printf("PACK version %lu (%s), ", static_cast<unsigned long>(in.head.version),
           pack_contents(in.head.version));
    print_shown_text(in.pack_path);
    putchar('\n');
    label("EEPROM payload");
    printf("%lu bytes stored, ", static_cast<unsigned long>(in.eep_payload.stored_size));
    print_checksum(in.eep_payload);
    label("Flash payload");
    printf("%lu bytes stored, ", static_cast<unsigned long>(in.fw_payload.stored_size));
    if (in.head.version == PACK_VERSION_BZIP2)
        printf("%lu bytes raw, ", static_cast<unsigned long>(in.head.fw_raw_size));
    print_checksum(in.fw_payload);
}

void print_stamp(const stamp_facts &s)
{
    label("Stamp");
    printf("flash word sum 0x%08lX, length 0x%04lX (%lu bytes), %s\n",
           static_cast<unsigned long>(s.sum), static_cast<unsigned long>(s.length),
           static_cast<unsigned long>(s.length),
           s.sent ? "sent in EEPROM block 0" : "not sent: EEPROM block 0 is not flagged");
    label("Flash word sum");
    if (s.wrapped)
        printf("0x%08lX over 0x%05lX bytes of the image to send: matches (the stamp keeps only the "
               "low 16 bits of the length)",
               static_cast<unsigned long>(s.computed_sum),
               static_cast<unsigned long>(s.covered_length));
    else
        printf("0x%08lX over the stamped length of the image to send: %s",
               static_cast<unsigned long>(s.computed_sum), s.matches ? "matches" : "MISMATCH");
    putchar('\n');
}

void print_ident(const unsigned char *ident)
{
    char line[IDENT_LINE_SIZE];
    format_ident_line(ident, line, sizeof line);
    puts(line);
}

void print_hardware_check(const hardware_check &h)
{
    if (!h.expected)
        return;
    label("Expected hardware");
    print_shown_text(h.expected);
    puts(h.matches ? ", matches" : ", MISMATCH");
}

void print_blocks(const char *title, const block_facts &b, int digits)
{
    label(title);
    printf("%lu", static_cast<unsigned long>(b.count));
    for (std::size_t i = 0; i < b.range_count; ++i)
        printf("%s0x%0*lX-0x%0*lX", i == 0 ? " (" : ", ", digits,
               static_cast<unsigned long>(b.ranges[i].first), digits,
               static_cast<unsigned long>(b.ranges[i].last));
    puts(b.range_count > 0 ? ")" : "");
}

void print_transfer(const fw_report &r)
{
    label("Line bytes of an update");
    printf("%lu (prepare %lu, version %lu, %lu blocks of %lu, end %lu)\n",
           static_cast<unsigned long>(r.line_bytes), static_cast<unsigned long>(PREPARE_LINE_BYTES),
           static_cast<unsigned long>(VERSION_LINE_BYTES),
           static_cast<unsigned long>(r.flash_blocks.count + r.eep_blocks.count),
           static_cast<unsigned long>(BLOCK_LINE_BYTES),
           static_cast<unsigned long>(END_LINE_BYTES));
    label("Line time");
    printf("estimated at %lu bit times a byte, without the AVR's programming time\n",
           static_cast<unsigned long>(BIT_TIMES_PER_BYTE));
    for (std::size_t i = 0; i < r.rate_count; ++i) {
        char title[32];
        snprintf(title, sizeof title, "  at %6ld baud", r.rates[i]);
        label(title);
        printf("%lu.%03lu s\n", static_cast<unsigned long>(r.line_ms[i] / 1000),
               static_cast<unsigned long>(r.line_ms[i] % 1000));
    }
}

} // namespace

void print_text_report(const fw_input &in, const fw_report &report)
{
    print_input(in);
    print_ident(in.images.eep_image.get());
    print_hardware_check(report.hardware);
    print_stamp(report.stamp);
    print_blocks("Flash blocks to send", report.flash_blocks, 5);
    print_blocks("EEPROM blocks to send", report.eep_blocks, 3);
    print_transfer(report);

    char verdict[VERDICT_TEXT_SIZE];
    format_verdict(report, verdict, sizeof verdict);
    printf("\n%s\n", verdict);
}

void print_text_failure(int code)
{
    char verdict[VERDICT_TEXT_SIZE];
    format_load_failure(code, verdict, sizeof verdict);
    printf("\n%s\n", verdict);
}
