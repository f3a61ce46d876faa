#include "idrec_checks.h"

#include "erased_byte.h"
#include "hex_digit.h"
#include "packed_date.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr int FIRST_CENTURY_YEAR = 2000;            // a year YY of a record is 20YY
constexpr unsigned char DATE_SEPARATOR_BYTE = 0x20; // byte 3 of a packed date

// Where the text DD.MM.YY-HH:MM has which character: a digit, or the separator itself.
constexpr char DATE_PATTERN[] = "99.99.99-99:99";
static_assert(sizeof DATE_PATTERN == DATE_TEXT_LEN + 1, "pattern of the date text");

bool all_bytes(const unsigned char *p, int n, unsigned char b)
{
    for (int i = 0; i < n; i++) {
        if (p[i] != b)
            return false;
    }
    return true;
}

bool is_unset(const unsigned char *packed)
{
    static const unsigned char editor_empty[OKT_EEP_DATE_SIZE] = {0, 0, 0, DATE_SEPARATOR_BYTE,
                                                                  0, 0};
    return all_bytes(packed, OKT_EEP_DATE_SIZE, 0x00) ||
           all_bytes(packed, OKT_EEP_DATE_SIZE, ERASED_BYTE) ||
           memcmp(packed, editor_empty, OKT_EEP_DATE_SIZE) == 0;
}

bool leap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int month, int year)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap(year) ? 29 : days[month - 1];
}

int two_digits(const char *p)
{
    return (p[0] - '0') * 10 + (p[1] - '0');
}

void hex_bytes(const unsigned char *p, int n, char *out, std::size_t size)
{
    std::size_t len = 0;
    out[0] = '\0';
    for (int i = 0; i < n && len < size; i++) {
        int k = snprintf(out + len, size - len, i == 0 ? "%02x" : " %02x", p[i]);
        if (k < 0)
            break;
        len += static_cast<std::size_t>(k);
    }
}

} // namespace

date_problem check_date_text(const char *text, unsigned char *packed, date_numbers *numbers)
{
    *numbers = date_numbers{};
    if (strlen(text) != DATE_TEXT_LEN)
        return DATE_FORMAT;
    for (int i = 0; i < DATE_TEXT_LEN; i++) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (DATE_PATTERN[i] == '9' ? !digit : text[i] != DATE_PATTERN[i])
            return DATE_FORMAT;
    }
    *numbers = {two_digits(text), two_digits(text + 3), two_digits(text + 6), two_digits(text + 9),
                two_digits(text + 12)};

    // The tool's own conversion decides what it accepts; the calendar and the read-back below
    // are what it leaves unchecked.
    unsigned char bytes[OKT_EEP_DATE_SIZE];
    switch (pack_date(text, bytes)) {
    case 0:
        break;
    case 1:
        return DATE_DAY;
    case 2:
        return DATE_MONTH;
    case 3:
        return DATE_YEAR;
    case 4:
        return DATE_HOUR;
    default:
        return DATE_MINUTE;
    }
    if (numbers->day == 0)
        return DATE_DAY;
    if (numbers->month == 0)
        return DATE_MONTH;
    // Years 60-99 pack, but every tool reads them back as invalid.
    char back[DATE_TEXT_MIN_BUFFER] = {};
    if (unpack_date(bytes, back) == 0)
        return DATE_YEAR;
    if (numbers->day > days_in_month(numbers->month, FIRST_CENTURY_YEAR + numbers->year))
        return DATE_CALENDAR;
    memcpy(packed, bytes, OKT_EEP_DATE_SIZE);
    return DATE_VALID;
}

date_problem check_date_bytes(const unsigned char *packed, date_numbers *numbers)
{
    *numbers = date_numbers{};
    if (is_unset(packed))
        return DATE_UNSET;
    char text[DATE_TEXT_MIN_BUFFER] = {};
    if (unpack_date(packed, text) == 0)
        return DATE_UNREADABLE;
    // Nibbles above 9 come out as ':' to '?' and a byte 3 other than 0x20 as two more digits,
    // which the text check refuses as no date text.
    unsigned char again[OKT_EEP_DATE_SIZE];
    return check_date_text(text, again, numbers);
}

void describe_date_problem(date_problem problem, const date_numbers &n, const char *text,
                           const unsigned char *packed, char *out, std::size_t size)
{
    char bytes[OKT_EEP_DATE_SIZE * 3 + 1] = "";
    if (packed)
        hex_bytes(packed, OKT_EEP_DATE_SIZE, bytes, sizeof bytes);
    switch (problem) {
    case DATE_VALID:
        snprintf(out, size, "valid");
        return;
    case DATE_UNSET:
        snprintf(out, size, "unset");
        return;
    case DATE_UNREADABLE:
        snprintf(out, size, "bytes %s: the tools read a byte of 0x5a or above as an invalid date",
                 bytes);
        return;
    case DATE_FORMAT:
        if (text)
            snprintf(out, size, "not DD.MM.YY-HH:MM");
        else
            snprintf(out, size, "bytes %s: no BCD date DD MM YY 20 HH MM", bytes);
        return;
    case DATE_DAY:
        snprintf(out, size, "day %02d is not 01-31", n.day);
        return;
    case DATE_MONTH:
        snprintf(out, size, "month %02d is not 01-12", n.month);
        return;
    case DATE_YEAR:
        snprintf(out, size, "year %02d is not 00-59 (the tools read years 60-99 back as invalid)",
                 n.year);
        return;
    case DATE_HOUR:
        snprintf(out, size, "hour %02d is not 00-23", n.hour);
        return;
    case DATE_MINUTE:
        snprintf(out, size, "minute %02d is not 00-59", n.minute);
        return;
    case DATE_CALENDAR:
        snprintf(out, size, "%02d.%02d.%d does not exist", n.day, n.month,
                 FIRST_CENTURY_YEAR + n.year);
        return;
    }
}

text_problem check_text(const unsigned char *bytes, std::size_t n, std::size_t *at)
{
    *at = 0;
    for (std::size_t i = 0; i < n; i++) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) {
            *at = i;
            return TEXT_NOT_PRINTABLE;
        }
    }
    return n > OKT_EEP_TEXT_BYTES ? TEXT_TOO_LONG : TEXT_VALID;
}

void describe_text_problem(text_problem problem, const unsigned char *bytes, std::size_t n,
                           std::size_t at, char *out, std::size_t size)
{
    switch (problem) {
    case TEXT_VALID:
        snprintf(out, size, "valid");
        return;
    case TEXT_TOO_LONG:
        snprintf(out, size, "%zu bytes; a text has at most %d", n, OKT_EEP_TEXT_BYTES);
        return;
    case TEXT_NOT_PRINTABLE:
        snprintf(out, size, "byte 0x%02x at offset %zu is not printable ASCII", bytes[at], at);
        return;
    }
}

bool parse_bootcntr(const char *text, uint32_t *value)
{
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0')
        return false;
    uint64_t v = 0;
    for (const char *p = text; *p != '\0'; p++) {
        const int d = hex_digit_value(*p);
        if (d < 0 || static_cast<unsigned>(d) >= base)
            return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > UINT32_MAX)
            return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}
