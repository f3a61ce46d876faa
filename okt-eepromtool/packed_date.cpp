#include "packed_date.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr int DATE_TIME_SEPARATOR_POS = 3; // byte holding DATE_TIME_SEPARATOR
constexpr unsigned char DATE_TIME_SEPARATOR = 0x20;
constexpr unsigned char FIRST_INVALID_BYTE = 0x5A; // erased (0xFF) and years 60..99 stop here
constexpr int PACK_TEXT_MAX = 15;                  // characters of the text that are looked at

constexpr unsigned MAX_DAY = 31;
constexpr unsigned MAX_MONTH = 12;
constexpr unsigned MAX_YEAR = 99;
constexpr unsigned MAX_HOUR = 23;
constexpr unsigned MAX_MINUTE = 59;

unsigned char to_bcd(unsigned v)
{
    return static_cast<unsigned char>((v / 10) << 4 | (v % 10));
}

} // namespace

int unpack_date(const unsigned char *packed, char *text)
{
    char separator = '.';
    for (int pos = 0; pos < PACKED_DATE_SIZE; pos++) {
        unsigned char b = packed[pos];
        if (pos == DATE_TIME_SEPARATOR_POS && b == DATE_TIME_SEPARATOR) {
            *text++ = '-';
            separator = ':';
            continue;
        }
        if (b >= FIRST_INVALID_BYTE)
            return 0;
        // No BCD check: nibbles above 9 come out as the characters after '9'.
        *text++ = static_cast<char>('0' + (b >> 4));
        *text++ = static_cast<char>('0' + (b & 0x0F));
        if (pos != 2 && pos != 5)
            *text++ = separator;
    }
    *text = '\0';
    return 1;
}

int pack_date(const char *text, unsigned char *packed)
{
    char buf[PACK_TEXT_MAX + 1] = {};
    strncpy(buf, text, PACK_TEXT_MAX);

    int day = 0, month = 0, year = 0, hour = 0, minute = 0;
    // Fields the text does not supply stay 0; an empty text is the all-zero date. Each number is
    // at most two digits, so no conversion can overflow, and the range checks below catch the rest.
    // NOLINTNEXTLINE(cert-err34-c)
    sscanf(buf, "%2d.%2d.%2d-%2d:%2d", &day, &month, &year, &hour, &minute);

    // Unsigned comparisons so that a negative number fails too.
    if (static_cast<unsigned>(day) > MAX_DAY)
        return 1;
    if (static_cast<unsigned>(month) > MAX_MONTH)
        return 2;
    if (static_cast<unsigned>(year) > MAX_YEAR)
        return 3;
    if (static_cast<unsigned>(hour) > MAX_HOUR)
        return 4;
    if (static_cast<unsigned>(minute) > MAX_MINUTE)
        return 5;

    packed[0] = to_bcd(day);
    packed[1] = to_bcd(month);
    packed[2] = to_bcd(year);
    packed[3] = DATE_TIME_SEPARATOR;
    packed[4] = to_bcd(hour);
    packed[5] = to_bcd(minute);
    return 0;
}
