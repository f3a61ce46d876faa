#include "number_text.h"

#include "hex_digit.h"

#include <cctype>
#include <cstring>

namespace
{

constexpr uint64_t U32_MAX = 0xFFFFFFFFu;
constexpr uint64_t I32_MAX = 0x7FFFFFFFu;
constexpr uint64_t I32_MIN_MAGNITUDE = 0x80000000u;

const char *skip_blanks(const char *p)
{
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// Reads the sign, if any; true for a minus.
bool take_sign(const char **p)
{
    if (**p == '+' || **p == '-')
        return *(*p)++ == '-';
    return false;
}

// "%lx" with a 32-bit unsigned long, on every host.
uint32_t hex_value(const char *text)
{
    const char *p = skip_blanks(text);
    bool negative = take_sign(&p);
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_digit_value(p[2]) >= 0)
        p += 2;
    uint64_t value = 0;
    bool overflow = false;
    for (int d; (d = hex_digit_value(*p)) >= 0; ++p) {
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > U32_MAX) {
            overflow = true;
            value = U32_MAX;
        }
    }
    if (overflow)
        return static_cast<uint32_t>(U32_MAX);
    uint32_t v = static_cast<uint32_t>(value);
    return negative ? 0u - v : v;
}

// "atol" with a 32-bit long, stored in two's complement.
uint32_t decimal_value(const char *text)
{
    const char *p = skip_blanks(text);
    bool negative = take_sign(&p);
    uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (magnitude > I32_MIN_MAGNITUDE)
            magnitude = I32_MIN_MAGNITUDE;
    }
    if (!negative)
        return static_cast<uint32_t>(magnitude > I32_MAX ? I32_MAX : magnitude);
    return 0u - static_cast<uint32_t>(magnitude);
}

} // namespace

int ishexdigit(int c)
{
    if (c < 0 || c > 255)
        return 0;
    int lower = tolower(c);
    return lower >= 'a' && lower <= 'f';
}

int ishex(const char *text, unsigned len)
{
    if (len >= 3 && text[0] == '0' && text[1] == 'x')
        return 2;
    // Every character counts, the first two included: "a12" is as hexadecimal as "12a".
    for (unsigned i = 0; i < len; ++i) {
        if (ishexdigit(static_cast<unsigned char>(text[i])))
            return 1;
    }
    return 0;
}

uint32_t read_number(const char *text)
{
    int kind = ishex(text, static_cast<unsigned>(strlen(text)));
    if (kind == 2)
        return hex_value(text + 2);
    if (kind == 1)
        return hex_value(text);
    return decimal_value(text);
}
