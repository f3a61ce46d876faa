#include "idrec_build.h"

#include "idrec_checks.h"
#include "idrec_message.h"
#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr int FIRST_RECORD_YEAR = 2000; // the record's years 00-59 are 2000-2059
constexpr int LAST_RECORD_YEAR = 2059;
constexpr int TM_YEAR_BASE = 1900;

void refuse(const char *option, const char *value, const char *why)
{
    char shown[64];
    shown[0] = '\0';
    // Enough of the value to recognise it; the reason tells its length.
    append_shown(shown, sizeof shown, value, strnlen(value, sizeof shown));
    idrec_message("%s \"%s\": %s\n", option, shown, why);
}

bool apply_text(const char *option, const char *value, char *field)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(value);
    const std::size_t n = strlen(value);
    std::size_t at = 0;
    const text_problem p = check_text(bytes, n, &at);
    if (p != TEXT_VALID) {
        char why[TEXT_MESSAGE_SIZE];
        describe_text_problem(p, bytes, n, at, why, sizeof why);
        refuse(option, value, why);
        return false;
    }
    // At most 15 bytes, so zeros fill the rest of the field and end the text.
    strncpy(field, value, OKT_EEP_TEXT_FIELD_SIZE);
    return true;
}

bool apply_date(const char *option, const char *value, time_t now, unsigned char *field)
{
    char text[64]; // the clock's fields are two digits each, but int to the compiler
    const char *checked = value;
    if (strcmp(value, "now") == 0) {
        struct tm t;
        if (!localtime_r(&now, &t)) {
            refuse(option, value, "the clock's time cannot be converted");
            return false;
        }
        const int year = t.tm_year + TM_YEAR_BASE;
        if (year < FIRST_RECORD_YEAR || year > LAST_RECORD_YEAR) {
            char why[96];
            snprintf(why, sizeof why, "the clock says %04d-%02d-%02d %02d:%02d, not a year %d-%d",
                     year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, FIRST_RECORD_YEAR,
                     LAST_RECORD_YEAR);
            refuse(option, value, why);
            return false;
        }
        snprintf(text, sizeof text, "%02d.%02d.%02d-%02d:%02d", t.tm_mday, t.tm_mon + 1, year % 100,
                 t.tm_hour, t.tm_min);
        checked = text;
    }
    date_numbers numbers;
    const date_problem p = check_date_text(checked, field, &numbers);
    if (p != DATE_VALID) {
        char why[DATE_MESSAGE_SIZE];
        describe_date_problem(p, numbers, checked, nullptr, why, sizeof why);
        refuse(option, value, why);
        return false;
    }
    return true;
}

bool apply_bootcntr(const char *value, okt_eep_data *record)
{
    uint32_t counter = 0;
    if (!parse_bootcntr(value, &counter)) {
        refuse("--bootcntr", value, "not a number 0-4294967295 (decimal, or hex after 0x)");
        return false;
    }
    okt_eep_set_bootcntr(record, counter);
    return true;
}

} // namespace

int apply_field_options(const field_options &o, time_t now, okt_eep_data *record)
{
    int refused = 0;
    if (o.bootcntr && !apply_bootcntr(o.bootcntr, record))
        refused++;
    if (o.manuf_date && !apply_date("--manuf-date", o.manuf_date, now, record->manuf_date))
        refused++;
    if (o.maint_date && !apply_date("--maint-date", o.maint_date, now, record->maint_date))
        refused++;
    if (o.desc && !apply_text("--desc", o.desc, record->desc_string))
        refused++;
    if (o.rev && !apply_text("--rev", o.rev, record->rev_string))
        refused++;
    if (o.serial && !apply_text("--serial", o.serial, record->serial))
        refused++;
    return refused;
}
