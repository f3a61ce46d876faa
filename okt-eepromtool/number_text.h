// Number texts of the boot counter dialog: hexadecimal or decimal, as the text shows.
#pragma once

#include <cstdint>

// A number text as a 32-bit value: "0x..." and texts holding a letter a-f/A-F are hexadecimal
// ("%lx" rules: sign, optional 0x/0X, saturating at 0xFFFFFFFF), others decimal ("atol" rules on
// a 32-bit long: saturating at INT32_MIN/INT32_MAX, two's complement). No digits give 0.
uint32_t read_number(const char *text);

// Classifies the first `len` characters: 2 when len >= 3 and the text starts with "0x",
// 1 when any of them is a letter a-f or A-F, else 0.
int ishex(const char *text, unsigned len);

// 1 for the letters a-f and A-F, 0 for everything else (digits included).
int ishexdigit(int c);
