// The hex dump layout both tools print: a column header, then 16 bytes a line with their
// characters. Lines are always whole, so a count that is not a multiple of 16 shows the bytes up
// to the next multiple: the caller's buffer must hold them.
#pragma once

constexpr int HEXDUMP_LINE_BYTES = 16;

void hexdump(const unsigned char *data, int count);
