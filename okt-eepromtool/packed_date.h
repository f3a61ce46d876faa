// The 6-byte packed BCD date of the module record and its text form DD.MM.YY-HH:MM.
#pragma once

#include "oktideep.h"

constexpr int PACKED_DATE_SIZE = OKT_EEP_DATE_SIZE;
constexpr int DATE_TEXT_MIN_BUFFER = 17; // bytes unpack_date may write

// Packed date to text. 1 valid, 0 invalid (text may be partly written, without terminator).
int unpack_date(const unsigned char *packed, char *text);

// Text to packed date. 0 ok; 1 bad day, 2 bad month, 3 bad year, 4 bad hour, 5 bad minute.
// `packed` is written only on success.
int pack_date(const char *text, unsigned char *packed);
