#include "hexdump.h"

#include <cstdio>

namespace
{
char shown_as(unsigned char b)
{
    if (b == 0x00 || b == 0xFF)
        return '.';
    if (b >= 0x20 && b <= 0x7E)
        return static_cast<char>(b);
    return '?';
}
} // namespace

void hexdump(const unsigned char *data, int count)
{
    printf("     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n");
    for (int i = 0; i < count; i += HEXDUMP_LINE_BYTES) {
        printf("%02x: ", i);
        for (int j = 0; j < HEXDUMP_LINE_BYTES; ++j)
            printf("%02x ", data[i + j]);
        printf("   ");
        for (int j = 0; j < HEXDUMP_LINE_BYTES; ++j)
            putchar(shown_as(data[i + j]));
        putchar('\n');
    }
}
