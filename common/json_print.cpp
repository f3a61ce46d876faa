#include "json_print.h"

#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

namespace
{

void json_char(char c)
{
    if (c == '"' || c == '\\')
        putchar('\\');
    putchar(c);
}

} // namespace

void json_shown(const void *bytes, std::size_t n)
{
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    putchar('"');
    for (std::size_t i = 0; i < n; ++i) {
        char one[SHOWN_BYTE_MAX + 1];
        const std::size_t k = shown_byte(p[i], one);
        for (std::size_t j = 0; j < k; ++j)
            json_char(one[j]);
    }
    putchar('"');
}

void json_shown_text(const char *s)
{
    json_shown(s, strlen(s));
}

void json_string(const char *shown)
{
    putchar('"');
    for (const char *c = shown; *c != '\0'; ++c) {
        const unsigned char b = static_cast<unsigned char>(*c);
        if (b < 0x20 || b >= 0x7F)
            printf("\\u%04x", b); // never in shown text; kept valid JSON all the same
        else
            json_char(*c);
    }
    putchar('"');
}

void json_hex(const void *bytes, std::size_t n)
{
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    putchar('"');
    for (std::size_t i = 0; i < n; ++i)
        printf("%02x", p[i]);
    putchar('"');
}

const char *json_bool(bool b)
{
    return b ? "true" : "false";
}
