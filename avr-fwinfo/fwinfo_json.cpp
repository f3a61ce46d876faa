#include "fwinfo_json.h"

#include "fwinfo_report.h"
#include "json_print.h"
#include "pack_format.h"

#include <cstdio>
#include <cstring>

#ifndef OKT_PACKAGE_VERSION
#error "OKT_PACKAGE_VERSION names the package version; the build defines it"
#endif

namespace
{

// Raised whenever a field changes its meaning or goes away; new fields keep it.
constexpr int JSON_SCHEMA_VERSION = 1;

// Members the rollout's check of a PACK file reads (deploy/ansible/roles/avr_pack_check:
// result.verdict and result.message when the file is refused, new_firmware.line for the report
// after its title and ": "): change both together.
constexpr char NEW_FIRMWARE_MEMBER[] = "new_firmware";
constexpr char IDENT_LINE_MEMBER[] = "line";
constexpr char RESULT_MEMBER[] = "result";
constexpr char VERDICT_MEMBER[] = "verdict";
constexpr char MESSAGE_MEMBER[] = "message";

void json_head()
{
    printf("{\n  \"schema_version\": %d,\n  \"tool_version\": ", JSON_SCHEMA_VERSION);
    json_string(OKT_PACKAGE_VERSION);
    printf(",\n");
}

// The loader's output as a list of its lines (the last line end ends no further line).
void json_lines(const char *text, std::size_t len)
{
    printf("  \"loader_messages\": [");
    std::size_t start = 0;
    bool first = true;
    while (start < len) {
        const void *nl = memchr(text + start, '\n', len - start);
        std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char *>(nl) - text) : len;
        printf("%s\n    ", first ? "" : ",");
        json_shown(text + start, end - start);
        first = false;
        start = end + 1;
    }
    printf("%s],\n", first ? "" : "\n  ");
}

void json_input(const fw_input &in)
{
    printf("  \"input\": {\n");
    if (in.kind == INPUT_HEX_PAIR) {
        printf("    \"kind\": \"hex_pair\",\n    \"flash_file\": ");
        json_shown_text(in.flash_path);
        printf(",\n    \"eeprom_file\": ");
        json_shown_text(in.eep_path);
        printf("\n  },\n");
        return;
    }
    printf("    \"kind\": \"pack\",\n    \"file\": ");
    json_shown_text(in.pack_path);
    if (in.head_read)
        printf(",\n    \"pack_version\": %lu\n  },\n", static_cast<unsigned long>(in.head.version));
    else
        printf(",\n    \"pack_version\": null\n  },\n");
}

void json_payload(const char *name, const payload_check &p, const char *more, bool last)
{
    printf("    \"%s\": {\n      \"stored_bytes\": %lu,%s\n      \"checksum\": %lu,\n"
           "      \"head_checksum\": %lu,\n      \"checksum_matches\": %s\n    }%s\n",
           name, static_cast<unsigned long>(p.stored_size), more,
           static_cast<unsigned long>(p.cksum), static_cast<unsigned long>(p.head_cksum),
           json_bool(p.cksum == p.head_cksum), last ? "" : ",");
}

void json_sizes(const fw_input &in)
{
    if (in.kind == INPUT_HEX_PAIR) {
        printf("  \"images\": {\n    \"flash_bytes\": %lu,\n    \"eeprom_bytes\": %lu\n  },\n",
               static_cast<unsigned long>(in.images.fw_len),
               static_cast<unsigned long>(in.images.eep_len));
        return;
    }
    char raw[64] = "\n      \"raw_bytes\": null,";
    if (in.head.version == PACK_VERSION_BZIP2)
        snprintf(raw, sizeof raw, "\n      \"raw_bytes\": %lu,",
                 static_cast<unsigned long>(in.head.fw_raw_size));
    printf("  \"payloads\": {\n");
    json_payload("eeprom", in.eep_payload, "", false);
    json_payload("flash", in.fw_payload, raw, true);
    printf("  },\n");
}

void json_ident(const unsigned char *ident)
{
    auto number = [ident](std::size_t at) {
        return static_cast<int>(static_cast<signed char>(ident[at]));
    };
    char line[IDENT_LINE_SIZE];
    format_ident_line(ident, line, sizeof line);
    printf("  \"%s\": {\n    \"%s\": ", NEW_FIRMWARE_MEMBER, IDENT_LINE_MEMBER);
    json_string(line);
    printf(",\n    \"letter\": ");
    json_shown(ident, 1);
    printf(",\n    \"digits\": [%d, %d, %d],\n", number(1), number(2), number(3));
    printf("    \"build_day\": %d,\n    \"build_month\": %d,\n    \"build_year_in_century\": %d,\n",
           number(6), number(5), number(4));
    printf("    \"hardware_id\": ");
    json_shown(ident + HARDWARE_ID_OFFSET, HARDWARE_ID_LEN);
    printf(",\n    \"hardware_id_bytes\": [");
    for (std::size_t i = 0; i < HARDWARE_ID_LEN; ++i)
        printf("%s%u", i == 0 ? "" : ", ", static_cast<unsigned>(ident[HARDWARE_ID_OFFSET + i]));
    printf("]\n  },\n");
}

void json_stamp(const stamp_facts &s)
{
    printf("  \"stamp\": {\n    \"sum\": %lu,\n    \"length\": %lu,\n    \"matches\": %s,\n",
           static_cast<unsigned long>(s.sum), static_cast<unsigned long>(s.length),
           json_bool(s.matches));
    if (s.matches)
        printf("    \"covered_length\": %lu,\n", static_cast<unsigned long>(s.covered_length));
    else
        printf("    \"covered_length\": null,\n");
    printf("    \"length_wrapped\": %s,\n    \"computed_sum\": %lu,\n    \"sent\": %s\n  },\n",
           json_bool(s.wrapped), static_cast<unsigned long>(s.computed_sum), json_bool(s.sent));
}

void json_blocks(const char *name, const block_facts &b, bool last)
{
    printf("    \"%s\": {\n      \"count\": %lu,\n      \"ranges\": [", name,
           static_cast<unsigned long>(b.count));
    for (std::size_t i = 0; i < b.range_count; ++i)
        printf("%s\n        {\"first\": %lu, \"last\": %lu}", i == 0 ? "" : ",",
               static_cast<unsigned long>(b.ranges[i].first),
               static_cast<unsigned long>(b.ranges[i].last));
    printf("%s]\n    }%s\n", b.range_count > 0 ? "\n      " : "", last ? "" : ",");
}

void json_transfer(const fw_report &r)
{
    printf("  \"transfer\": {\n    \"line_bytes\": %lu,\n    \"bit_times_per_byte\": %lu,\n"
           "    \"programming_time_included\": false,\n    \"rates\": [",
           static_cast<unsigned long>(r.line_bytes),
           static_cast<unsigned long>(BIT_TIMES_PER_BYTE));
    for (std::size_t i = 0; i < r.rate_count; ++i)
        printf("%s\n      {\"baud\": %ld, \"milliseconds\": %lu}", i == 0 ? "" : ",", r.rates[i],
               static_cast<unsigned long>(r.line_ms[i]));
    printf("%s]\n  },\n", r.rate_count > 0 ? "\n    " : "");
}

const char *verdict_name(fwinfo_verdict v)
{
    switch (v) {
    case VERDICT_OK:
        return "ok";
    case VERDICT_STAMP_WRAPPED:
        return "ok_length_wrapped";
    case VERDICT_STAMP_DAMAGED:
        return "stamp_mismatch";
    case VERDICT_FLASH_CKSUM:
        return "flash_checksum_mismatch";
    case VERDICT_HARDWARE:
        return "hardware_mismatch";
    }
    return "stamp_mismatch";
}

// `matches` is null when the input did not load and there is no identifier to compare.
void json_hardware_check(const char *expected, const char *matches)
{
    if (!expected) {
        printf("  \"hardware_check\": null,\n");
        return;
    }
    printf("  \"hardware_check\": {\n    \"expected\": ");
    json_shown_text(expected);
    printf(",\n    \"matches\": %s\n  },\n", matches);
}

void json_result(int code, const char *verdict, const char *message)
{
    printf("  \"%s\": {\n    \"exit_code\": %d,\n    \"%s\": \"%s\",\n    \"%s\": ", RESULT_MEMBER,
           code, VERDICT_MEMBER, verdict, MESSAGE_MEMBER);
    json_string(message);
    printf("\n  }\n}\n");
}

} // namespace

void print_json_report(const fw_input &in, const fw_report &report, const char *loader_output,
                       std::size_t len)
{
    json_head();
    json_input(in);
    json_lines(loader_output, len);
    json_sizes(in);
    json_ident(in.images.eep_image.get());
    json_stamp(report.stamp);
    printf("  \"blocks\": {\n");
    json_blocks("flash", report.flash_blocks, false);
    json_blocks("eeprom", report.eep_blocks, true);
    printf("  },\n");
    json_transfer(report);
    json_hardware_check(report.hardware.expected, json_bool(report.hardware.matches));
    char message[VERDICT_TEXT_SIZE];
    format_verdict(report, message, sizeof message);
    json_result(verdict_exit_code(report.verdict), verdict_name(report.verdict), message);
}

void print_json_failure(const fw_input &in, int code, const char *expected_hwid,
                        const char *loader_output, std::size_t len)
{
    json_head();
    json_input(in);
    json_lines(loader_output, len);
    json_hardware_check(expected_hwid, "null");
    char message[VERDICT_TEXT_SIZE];
    format_load_failure(code, message, sizeof message);
    json_result(code, "load_failed", message);
}
