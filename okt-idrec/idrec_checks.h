// The strict checks of record values, layered on the tool's packed date (packed_date.h): a date
// must be one the calendar has and the tools read back as valid, a text 0 to 15 printable ASCII
// bytes, a boot counter 0 to 4294967295 in decimal or 0x hex. Nothing is cut or guessed: a value
// either passes whole or is refused with the reason.
#pragma once

#include "oktideep.h"

#include <cstddef>
#include <cstdint>

enum date_problem {
    DATE_VALID,
    // All six bytes 0x00 or 0xff (never written, erased), or the editor's empty date
    // 00.00.00-00:00 (00 00 00 20 00 00).
    DATE_UNSET,
    DATE_UNREADABLE, // a byte of 0x5a or above: the tools read the date as invalid
    DATE_FORMAT,     // no DD.MM.YY-HH:MM text, or bytes that are no BCD date with its 0x20
    DATE_DAY,        // day 00 or above 31
    DATE_MONTH,      // month 00 or above 12
    DATE_YEAR,       // year 60 to 99: stored, the tools read it back as invalid
    DATE_HOUR,       // hour above 23
    DATE_MINUTE,     // minute above 59
    DATE_CALENDAR,   // a day the month does not have in 20YY (31.04, 29.02 outside leap years)
};

// The numbers a date text gives, for the messages; only those before the problem are set.
struct date_numbers {
    int day;
    int month;
    int year; // within the century: 20YY
    int hour;
    int minute;
};

constexpr int DATE_TEXT_LEN = 14;             // characters of DD.MM.YY-HH:MM
constexpr std::size_t DATE_MESSAGE_SIZE = 96; // bytes describe_date_problem writes at most

// Checks the text DD.MM.YY-HH:MM (exactly 14 characters) and packs it with pack_date into
// `packed` (6 bytes), which is written only when the result is DATE_VALID.
date_problem check_date_text(const char *text, unsigned char *packed, date_numbers *numbers);

// Checks a stored packed date as the text unpack_date reads from it.
date_problem check_date_bytes(const unsigned char *packed, date_numbers *numbers);

// The reason a date is not valid, without the field's name ("31.04.2024 does not exist").
// `text` is the text checked, or null for stored bytes, which are named then.
void describe_date_problem(date_problem problem, const date_numbers &numbers, const char *text,
                           const unsigned char *packed, char *out, std::size_t size);

enum text_problem {
    TEXT_VALID,
    TEXT_TOO_LONG,      // more than OKT_EEP_TEXT_BYTES bytes
    TEXT_NOT_PRINTABLE, // a byte outside 0x20..0x7e
};

// Checks n bytes as a record text; *at gets the offset of the first byte that is not printable.
text_problem check_text(const unsigned char *bytes, std::size_t n, std::size_t *at);

constexpr std::size_t TEXT_MESSAGE_SIZE = 64; // bytes describe_text_problem writes at most

// "16 bytes; a text has at most 15", "byte 0x09 at offset 3 is not printable ASCII".
void describe_text_problem(text_problem problem, const unsigned char *bytes, std::size_t n,
                           std::size_t at, char *out, std::size_t size);

// A boot counter text: decimal digits, or 0x (or 0X) and hex digits of either case, with a value
// of at most 4294967295; nothing else, not even blanks or a sign.
bool parse_bootcntr(const char *text, uint32_t *value);
