#include "shown_bytes.h"

#include "hex_digit.h"

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

shown_decode_result shown_decode(const char *shown, std::size_t n, unsigned char *out,
                                 std::size_t size, std::size_t *len, std::size_t *at)
{
    std::size_t k = 0;
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        *at = i;
        int value = c;
        std::size_t step = 1;
        if (c == '\\') {
            // All four characters must be there before any is looked at.
            if (n - i < SHOWN_BYTE_MAX || shown[i + 1] != 'x' ||
                hex_digit_value(shown[i + 2]) < 0 || hex_digit_value(shown[i + 3]) < 0)
                return SHOWN_NOT_SHOWN_FORM;
            value = hex_digit_value(shown[i + 2]) << 4 | hex_digit_value(shown[i + 3]);
            step = SHOWN_BYTE_MAX;
        } else if (c < 0x20 || c >= 0x7F) {
            return SHOWN_NOT_SHOWN_FORM;
        }
        if (k == size)
            return SHOWN_TOO_LONG;
        out[k++] = static_cast<unsigned char>(value);
        i += step;
    }
    *len = k;
    return SHOWN_DECODED;
}
