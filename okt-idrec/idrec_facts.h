// What a 128-byte record holds, decoded once into plain facts that the text and JSON reports,
// the write guards and the checks of make and write all read: the record's state, each field as
// the editor shows it with its strict validity, and the findings (warnings and notes).
#pragma once

#include "idrec_checks.h"
#include "oktideep.h"
#include "packed_date.h"

#include <cstddef>
#include <cstdint>

enum record_state {
    RECORD_BLANK, // every byte 0xff; bytes 31, 47 and 63, which every read clears, may be 0
    RECORD_EMPTY, // every byte 0
    RECORD_PROGRAMMED,
};

enum record_field {
    FIELD_BOOTCNTR,
    FIELD_MANUF_DATE,
    FIELD_MAINT_DATE,
    FIELD_DESC,
    FIELD_REV,
    FIELD_SERIAL,
    FIELD_RESERVED,
};

// The field's name in messages and JSON: "bootcntr", "manuf_date", "maint_date", "desc", "rev",
// "serial", "reserved".
const char *field_name(record_field field);

struct date_facts {
    unsigned char bytes[OKT_EEP_DATE_SIZE];
    bool editor_valid;                      // unpack_date reads it as valid
    char editor_text[DATE_TEXT_MIN_BUFFER]; // unpack_date's text when editor_valid, else empty
    date_problem problem; // DATE_VALID: strictly valid, editor_text is DD.MM.YY-HH:MM
    date_numbers numbers;
};

struct text_facts {
    unsigned char bytes[OKT_EEP_TEXT_FIELD_SIZE];
    std::size_t length;   // bytes before the first zero; the whole field when it has none
    bool terminated;      // a zero ends the text inside the field
    text_problem problem; // of the text's bytes: TEXT_VALID or TEXT_NOT_PRINTABLE
    std::size_t bad_at;   // TEXT_NOT_PRINTABLE: offset of the first such byte
};

struct record_facts {
    record_state state;
    uint32_t bootcntr;
    date_facts manuf_date;
    date_facts maint_date;
    text_facts desc;
    text_facts rev;
    text_facts serial;
    unsigned char reserved[OKT_EEP_RESERVED_SIZE];
    int reserved_nonzero; // reserved bytes that are not 0
};

void decode_record(const okt_eep_data &record, record_facts *facts);

enum finding_kind {
    FINDING_DATE,          // warning: an invalid date (unset is none)
    FINDING_UNTERMINATED,  // warning: a text without a zero in its field, cut when read back
    FINDING_NOT_PRINTABLE, // warning: a text with bytes outside printable ASCII
    FINDING_RESERVED,      // note, information only: reserved bytes that are not 0
};

struct record_finding {
    record_field field;
    finding_kind kind;
};

constexpr int RECORD_FINDINGS_MAX = 9; // 2 dates, 3 texts twice, the reserved area

// The findings in field order; a blank or an empty record has none. Returns their count.
int record_findings(const record_facts &facts, record_finding *out);

// true for the warnings, false for the notes.
bool finding_is_warning(finding_kind kind);

constexpr std::size_t FINDING_MESSAGE_SIZE = 160; // bytes describe_finding writes at most

// "manuf_date: 31.04.2024 does not exist", "serial: not terminated inside its field; read back,
// it is cut to its first 15 bytes", ...
void describe_finding(const record_facts &facts, const record_finding &finding, char *out,
                      std::size_t size);

// The date and text facts of a field, or null for the other fields.
const date_facts *field_date(const record_facts &facts, record_field field);
const text_facts *field_text(const record_facts &facts, record_field field);
