#include "fwinfo_report.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr std::size_t IDENT_TEXT_SIZE = 96;
constexpr std::size_t VERDICT_TEXT_SIZE = 256;

// A JSON string of raw bytes: quotes and backslashes escaped, control characters and every byte
// outside printable ASCII as \u00XX (so a stray 0xFF in a hardware id stays one character).
void json_bytes(const char *s, std::size_t n)
{
    putchar('"');
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b == '"' || b == '\\')
            printf("\\%c", b);
        else if (b < 0x20 || b >= 0x7F)
            printf("\\u%04x", b);
        else
            putchar(b);
    }
    putchar('"');
}

void json_text(const char *s)
{
    json_bytes(s, strlen(s));
}

const char *json_bool(bool b)
{
    return b ? "true" : "false";
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
        json_bytes(text + start, end - start);
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
        json_text(in.flash_path);
        printf(",\n    \"eeprom_file\": ");
        json_text(in.eep_path);
        printf("\n  },\n");
        return;
    }
    printf("    \"kind\": \"pack\",\n    \"file\": ");
    json_text(in.pack_path);
    if (in.head_read)
        printf(",\n    \"pack_version\": %lu", static_cast<unsigned long>(in.head.version));
    printf("\n  },\n");
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
               static_cast<unsigned long>(in.fw_len), static_cast<unsigned long>(in.eep_len));
        return;
    }
    char raw[64] = "";
    if (in.head.version == 3)
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
    char rest[IDENT_TEXT_SIZE];
    format_ident(ident, rest, sizeof rest);
    // The updater's line, byte for byte: the letter and the hardware id go in as they are.
    char line[IDENT_TEXT_SIZE * 2];
    std::size_t n = 0;
    auto put = [&line, &n](const void *bytes, std::size_t count) {
        memcpy(line + n, bytes, count);
        n += count;
    };
    put(NEW_FIRMWARE_TITLE, strlen(NEW_FIRMWARE_TITLE));
    put(": ", 2);
    put(ident, 1);
    put(rest, strlen(rest));
    put(ident + HARDWARE_ID_OFFSET, HARDWARE_ID_LEN);

    printf("  \"new_firmware\": {\n    \"line\": ");
    json_bytes(line, n);
    printf(",\n    \"letter\": ");
    json_bytes(reinterpret_cast<const char *>(ident), 1);
    printf(",\n    \"digits\": [%d, %d, %d],\n", number(1), number(2), number(3));
    printf("    \"build_day\": %d,\n    \"build_month\": %d,\n    \"build_year_in_century\": %d,\n",
           number(6), number(5), number(4));
    printf("    \"hardware_id\": ");
    json_bytes(reinterpret_cast<const char *>(ident + HARDWARE_ID_OFFSET), HARDWARE_ID_LEN);
    printf("\n  },\n");
}

void json_stamp(const stamp_facts &s)
{
    printf("  \"stamp\": {\n    \"sum\": %lu,\n    \"length\": %lu,\n    \"computed_sum\": %lu,\n"
           "    \"matches\": %s,\n",
           static_cast<unsigned long>(s.sum), static_cast<unsigned long>(s.length),
           static_cast<unsigned long>(s.computed_sum), json_bool(s.matches));
    if (s.wrapped_length != 0)
        printf("    \"wrapped_length\": %lu,\n", static_cast<unsigned long>(s.wrapped_length));
    else
        printf("    \"wrapped_length\": null,\n");
    printf("    \"sent\": %s\n  },\n", json_bool(s.sent));
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
    case VERDICT_STAMP_DAMAGED:
        return "stamp_mismatch";
    case VERDICT_STAMP_WRAPPED:
        return "ok_length_wrapped";
    case VERDICT_FLASH_CKSUM:
        return "flash_checksum_mismatch";
    }
    return "stamp_mismatch";
}

void json_result(int code, const char *verdict, const char *message)
{
    printf("  \"result\": {\n    \"exit_code\": %d,\n    \"verdict\": \"%s\",\n    \"message\": ",
           code, verdict);
    json_text(message);
    printf("\n  }\n}\n");
}

} // namespace

void print_json_report(const fw_input &in, const fw_report &report, const char *loader_output,
                       std::size_t len)
{
    printf("{\n");
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
    char message[VERDICT_TEXT_SIZE];
    format_verdict(report, message, sizeof message);
    json_result(verdict_exit_code(report.verdict), verdict_name(report.verdict), message);
}

void print_json_failure(const fw_input &in, int code, const char *loader_output, std::size_t len)
{
    printf("{\n");
    json_input(in);
    json_lines(loader_output, len);
    // The loader's last line names the failure, as it does on the console.
    std::size_t end = len;
    while (end > 0 && loader_output[end - 1] == '\n')
        --end;
    std::size_t start = end;
    while (start > 0 && loader_output[start - 1] != '\n')
        --start;
    char message[VERDICT_TEXT_SIZE] = {};
    std::size_t n = end - start < sizeof message - 1 ? end - start : sizeof message - 1;
    memcpy(message, loader_output + start, n);
    message[n] = '\0';
    json_result(code, "load_failed", message);
}
