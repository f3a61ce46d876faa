#include "idrec_json.h"

#include "json_print.h"
#include "oktideep.h"

#include <cstdio>

#ifndef OKT_PACKAGE_VERSION
#error "OKT_PACKAGE_VERSION names the package version; the build defines it"
#endif

namespace
{

constexpr int ISO_TIME_SIZE = 32; // bytes of 2025-06-14T09:30:05+0200 and its terminator

// Members of read's line that the ID record inventory reads
// (deploy/ansible/filter_plugins/idrec_inventory.py: tool_version, and the modules in their
// order, each by its word): change both together.
constexpr char TOOL_VERSION_MEMBER[] = "tool_version";
constexpr char MODULES_MEMBER[] = "modules";
constexpr char MODULE_MEMBER[] = "module";

void json_head()
{
    printf("{\"schema_version\":%d,\"%s\":", IDREC_JSON_SCHEMA_VERSION, TOOL_VERSION_MEMBER);
    json_string(OKT_PACKAGE_VERSION);
}

const char *date_problem_word(date_problem p)
{
    switch (p) {
    case DATE_VALID:
        return nullptr;
    case DATE_UNSET:
        return "unset";
    case DATE_UNREADABLE:
        return "unreadable";
    case DATE_FORMAT:
        return "format";
    case DATE_DAY:
        return "day";
    case DATE_MONTH:
        return "month";
    case DATE_YEAR:
        return "year";
    case DATE_HOUR:
        return "hour";
    case DATE_MINUTE:
        return "minute";
    case DATE_CALENDAR:
        return "calendar";
    }
    return nullptr;
}

void json_text_or_null(const char *shown)
{
    if (shown)
        json_string(shown);
    else
        fputs("null", stdout);
}

void json_date(const char *name, const date_facts &d)
{
    const bool valid = d.problem == DATE_VALID;
    printf(",\"%s\":{\"text\":", name);
    json_text_or_null(valid ? d.editor_text : nullptr);
    printf(",\"valid\":%s,\"problem\":", json_bool(valid));
    json_text_or_null(date_problem_word(d.problem));
    printf(",\"editor_text\":");
    if (d.editor_valid)
        json_shown_text(d.editor_text);
    else
        fputs("null", stdout);
    printf(",\"editor_valid\":%s,\"bytes\":", json_bool(d.editor_valid));
    json_hex(d.bytes, sizeof d.bytes);
    putchar('}');
}

void json_text(const char *name, const text_facts &t)
{
    printf(",\"%s\":{\"text\":", name);
    json_shown(t.bytes, t.length);
    printf(",\"terminated\":%s,\"printable\":%s,\"bytes\":", json_bool(t.terminated),
           json_bool(t.problem == TEXT_VALID));
    json_hex(t.bytes, sizeof t.bytes);
    putchar('}');
}

// The messages of the findings of one kind, warnings or notes, as an array.
void json_findings(const char *name, const record_facts &f, bool warnings)
{
    record_finding found[RECORD_FINDINGS_MAX];
    const int n = record_findings(f, found);
    printf(",\"%s\":[", name);
    bool first = true;
    for (int i = 0; i < n; i++) {
        if (finding_is_warning(found[i].kind) != warnings)
            continue;
        char message[FINDING_MESSAGE_SIZE];
        describe_finding(f, found[i], message, sizeof message);
        if (!first)
            putchar(',');
        json_string(message);
        first = false;
    }
    putchar(']');
}

void json_record(const record_facts &f)
{
    const unsigned long counter = f.bootcntr;
    printf("{\"state\":\"%s\",\"bootcntr\":{\"value\":%lu,\"text\":\"%08lu (0x%08lx)\"}",
           record_state_word(f.state), counter, counter, counter);
    json_date("manuf_date", f.manuf_date);
    json_date("maint_date", f.maint_date);
    json_text("desc", f.desc);
    json_text("rev", f.rev);
    json_text("serial", f.serial);
    printf(",\"reserved\":{\"zero\":%s,\"bytes\":", json_bool(f.reserved_nonzero == 0));
    json_hex(f.reserved, sizeof f.reserved);
    putchar('}');
    json_findings("warnings", f, true);
    json_findings("notes", f, false);
    putchar('}');
}

void json_module(const module_report &m)
{
    const okt_eep_modinfo &e = *m.entry;
    printf("{\"%s\":\"%s\",\"role\":", MODULE_MEMBER, module_word(&e));
    json_string(role_name(e.role));
    printf(",\"bus\":%d,\"address\":%d,\"status\":\"%s\",\"bytes_read\":", e.bus, e.addr >> 1,
           module_status_word(m));
    if (m.status == MODULE_NO_BUS)
        fputs("null", stdout);
    else
        printf("%d", m.bytes_read);
    printf(",\"record\":");
    if (m.status == MODULE_READ)
        json_record(m.facts);
    else
        fputs("null", stdout);
    putchar('}');
}

const char *write_result_word(write_result r)
{
    switch (r) {
    case WRITE_RESULT_VERIFIED:
        return "verified";
    case WRITE_RESULT_REFUSED:
        return "refused";
    case WRITE_RESULT_INVALID_RECORD:
        return "invalid_record";
    case WRITE_RESULT_FILE_ERROR:
        return "file_error";
    case WRITE_RESULT_DEVICE_ERROR:
        return "device_error";
    case WRITE_RESULT_WRITE_FAILED:
        return "write_failed";
    case WRITE_RESULT_VERIFY_FAILED:
        return "verify_failed";
    }
    return "write_failed";
}

void json_serial_or_null(const record_facts *f)
{
    if (f && f->state == RECORD_PROGRAMMED)
        json_shown(f->serial.bytes, f->serial.length);
    else
        fputs("null", stdout);
}

void json_int_or_null(int v)
{
    if (v >= 0)
        printf("%d", v);
    else
        fputs("null", stdout);
}

} // namespace

void print_show_json(const char *path, const record_facts &facts)
{
    json_head();
    printf(",\"file\":");
    json_shown_text(path);
    printf(",\"record\":");
    json_record(facts);
    printf("}\n");
}

void print_read_json(const module_report *reports, int count)
{
    json_head();
    printf(",\"%s\":[", MODULES_MEMBER);
    for (int i = 0; i < count; i++) {
        if (i > 0)
            putchar(',');
        json_module(reports[i]);
    }
    printf("]}\n");
}

void print_write_json(const write_summary &w)
{
    const module_report *old = w.old_module;
    const bool old_read = old && old->status == MODULE_READ;
    json_head();
    printf(",\"%s\":\"%s\",\"record_file\":", MODULE_MEMBER, w.module);
    json_shown_text(w.record_path);
    printf(",\"old_status\":");
    if (old)
        printf("\"%s\"", module_status_word(*old));
    else
        fputs("null", stdout);
    printf(",\"old_serial\":");
    json_serial_or_null(old_read ? &old->facts : nullptr);
    printf(",\"new_serial\":");
    json_serial_or_null(w.new_record);
    printf(",\"backup\":");
    if (w.backup_path)
        json_shown_text(w.backup_path);
    else
        fputs("null", stdout);
    printf(",\"result\":\"%s\",\"verified\":%s,\"failed_at\":", write_result_word(w.result),
           json_bool(w.result == WRITE_RESULT_VERIFIED));
    json_int_or_null(w.failed_at);
    printf(",\"first_difference\":");
    json_int_or_null(w.first_difference);
    printf(",\"message\":");
    json_shown_text(w.message);
    char when[ISO_TIME_SIZE] = "";
    struct tm local;
    if (localtime_r(&w.when, &local))
        strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S%z", &local);
    printf(",\"time\":");
    json_string(when);
    printf(",\"exit_status\":%d}\n", w.exit_status);
}
