#include "fwinfo_escape.h"

#include <cstdio>
#include <cstring>

std::size_t shown_byte(unsigned char b, char *out)
{
    if (b >= 0x20 && b < 0x7F && b != '\\') {
        out[0] = static_cast<char>(b);
        out[1] = '\0';
        return 1;
    }
    static const char digits[] = "0123456789abcdef";
    out[0] = '\\';
    out[1] = 'x';
    out[2] = digits[b >> 4];
    out[3] = digits[b & 0x0F];
    out[4] = '\0';
    return SHOWN_BYTE_MAX;
}

std::size_t append_shown(char *buf, std::size_t size, const void *bytes, std::size_t n)
{
    std::size_t len = strnlen(buf, size);
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    for (std::size_t i = 0; i < n; ++i) {
        char one[SHOWN_BYTE_MAX + 1];
        const std::size_t k = shown_byte(p[i], one);
        if (len + k + 1 > size)
            break;
        memcpy(buf + len, one, k + 1);
        len += k;
    }
    return len;
}

void print_shown(const void *bytes, std::size_t n)
{
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    for (std::size_t i = 0; i < n; ++i) {
        char one[SHOWN_BYTE_MAX + 1];
        shown_byte(p[i], one);
        fputs(one, stdout);
    }
}

void print_shown_text(const char *s)
{
    print_shown(s, strlen(s));
}

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
