#include "idrec_facts.h"

#include "erased_byte.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace
{

// Record offsets that every read clears to 0 (okt_eep_sanitize_entry): an erased EEPROM read
// back has zeros there.
constexpr std::size_t CLEARED_BYTES[] = {
    offsetof(okt_eep_data, desc_string) + OKT_EEP_TEXT_FIELD_SIZE - 1,
    offsetof(okt_eep_data, rev_string) + OKT_EEP_TEXT_FIELD_SIZE - 1,
    offsetof(okt_eep_data, serial) + OKT_EEP_TEXT_FIELD_SIZE - 1,
};

bool cleared_by_reads(std::size_t offset)
{
    for (std::size_t c : CLEARED_BYTES) {
        if (c == offset)
            return true;
    }
    return false;
}

record_state state_of(const unsigned char *bytes)
{
    bool blank = true;
    bool empty = true;
    for (std::size_t i = 0; i < OKT_EEP_RECORD_SIZE; i++) {
        empty = empty && bytes[i] == 0x00;
        blank = blank && (bytes[i] == ERASED_BYTE || (bytes[i] == 0x00 && cleared_by_reads(i)));
    }
    return empty ? RECORD_EMPTY : blank ? RECORD_BLANK : RECORD_PROGRAMMED;
}

void decode_date(const unsigned char *packed, date_facts *d)
{
    memcpy(d->bytes, packed, OKT_EEP_DATE_SIZE);
    char text[DATE_TEXT_MIN_BUFFER] = {};
    d->editor_valid = unpack_date(packed, text) == 1;
    memcpy(d->editor_text, d->editor_valid ? text : "", d->editor_valid ? sizeof text : 1);
    d->problem = check_date_bytes(packed, &d->numbers);
}

void decode_text(const char *field, text_facts *t)
{
    memcpy(t->bytes, field, OKT_EEP_TEXT_FIELD_SIZE);
    const void *zero = memchr(t->bytes, 0, OKT_EEP_TEXT_FIELD_SIZE);
    t->terminated = zero != nullptr;
    t->length = zero ? static_cast<std::size_t>(static_cast<const unsigned char *>(zero) - t->bytes)
                     : OKT_EEP_TEXT_FIELD_SIZE;
    t->problem = check_text(t->bytes, t->length, &t->bad_at);
    // Sixteen bytes without a zero are too long as well; that is told as the missing zero.
    if (t->problem == TEXT_TOO_LONG)
        t->problem = TEXT_VALID;
}

} // namespace

const char *field_name(record_field field)
{
    switch (field) {
    case FIELD_BOOTCNTR:
        return "bootcntr";
    case FIELD_MANUF_DATE:
        return "manuf_date";
    case FIELD_MAINT_DATE:
        return "maint_date";
    case FIELD_DESC:
        return "desc";
    case FIELD_REV:
        return "rev";
    case FIELD_SERIAL:
        return "serial";
    case FIELD_RESERVED:
        return "reserved";
    }
    return "?";
}

void decode_record(const okt_eep_data &record, record_facts *f)
{
    *f = record_facts{};
    f->state = state_of(reinterpret_cast<const unsigned char *>(&record));
    f->bootcntr = okt_eep_get_bootcntr(&record);
    decode_date(record.manuf_date, &f->manuf_date);
    decode_date(record.maint_date, &f->maint_date);
    decode_text(record.desc_string, &f->desc);
    decode_text(record.rev_string, &f->rev);
    decode_text(record.serial, &f->serial);
    memcpy(f->reserved, record.reserved, OKT_EEP_RESERVED_SIZE);
    for (unsigned char b : record.reserved)
        f->reserved_nonzero += b != 0;
}

const date_facts *field_date(const record_facts &f, record_field field)
{
    switch (field) {
    case FIELD_MANUF_DATE:
        return &f.manuf_date;
    case FIELD_MAINT_DATE:
        return &f.maint_date;
    case FIELD_BOOTCNTR:
    case FIELD_DESC:
    case FIELD_REV:
    case FIELD_SERIAL:
    case FIELD_RESERVED:
        break;
    }
    return nullptr;
}

const text_facts *field_text(const record_facts &f, record_field field)
{
    switch (field) {
    case FIELD_DESC:
        return &f.desc;
    case FIELD_REV:
        return &f.rev;
    case FIELD_SERIAL:
        return &f.serial;
    case FIELD_BOOTCNTR:
    case FIELD_MANUF_DATE:
    case FIELD_MAINT_DATE:
    case FIELD_RESERVED:
        break;
    }
    return nullptr;
}

int record_findings(const record_facts &f, record_finding *out)
{
    if (f.state != RECORD_PROGRAMMED)
        return 0;
    int n = 0;
    for (record_field field : {FIELD_MANUF_DATE, FIELD_MAINT_DATE}) {
        date_problem p = field_date(f, field)->problem;
        if (p != DATE_VALID && p != DATE_UNSET)
            out[n++] = {field, FINDING_DATE};
    }
    for (record_field field : {FIELD_DESC, FIELD_REV, FIELD_SERIAL}) {
        const text_facts *t = field_text(f, field);
        if (!t->terminated)
            out[n++] = {field, FINDING_UNTERMINATED};
        if (t->problem != TEXT_VALID)
            out[n++] = {field, FINDING_NOT_PRINTABLE};
    }
    if (f.reserved_nonzero > 0)
        out[n++] = {FIELD_RESERVED, FINDING_RESERVED};
    return n;
}

bool finding_is_warning(finding_kind kind)
{
    switch (kind) {
    case FINDING_DATE:
    case FINDING_UNTERMINATED:
    case FINDING_NOT_PRINTABLE:
        return true;
    case FINDING_RESERVED:
        return false;
    }
    return true;
}

void describe_finding(const record_facts &f, const record_finding &finding, char *out,
                      std::size_t size)
{
    const char *name = field_name(finding.field);
    char why[DATE_MESSAGE_SIZE > TEXT_MESSAGE_SIZE ? DATE_MESSAGE_SIZE : TEXT_MESSAGE_SIZE];
    switch (finding.kind) {
    case FINDING_DATE: {
        const date_facts *d = field_date(f, finding.field);
        describe_date_problem(d->problem, d->numbers, nullptr, d->bytes, why, sizeof why);
        snprintf(out, size, "%s: %s", name, why);
        return;
    }
    case FINDING_UNTERMINATED:
        snprintf(out, size,
                 "%s: not terminated inside its field; read back, it is cut to its first %d bytes",
                 name, OKT_EEP_TEXT_BYTES);
        return;
    case FINDING_NOT_PRINTABLE: {
        const text_facts *t = field_text(f, finding.field);
        describe_text_problem(t->problem, t->bytes, t->length, t->bad_at, why, sizeof why);
        snprintf(out, size, "%s: %s", name, why);
        return;
    }
    case FINDING_RESERVED:
        snprintf(out, size, "%s: %d of the bytes 64-127 are not 0 (information only)", name,
                 f.reserved_nonzero);
        return;
    }
}
