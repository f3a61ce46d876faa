// Bytes from files, devices and command lines as they are shown: printable ASCII stays, every
// other byte and the backslash itself become \xNN with two lower-case hex digits, so nothing a
// file holds reaches the terminal as a control sequence and the shown text tells every byte
// apart. The shown form decodes back to the bytes.
#pragma once

#include <cstddef>

constexpr std::size_t SHOWN_BYTE_MAX = 4; // characters one byte takes at most: \xNN

// Writes the shown form of one byte into out (SHOWN_BYTE_MAX + 1 bytes, terminated); returns its
// length.
std::size_t shown_byte(unsigned char b, char *out);

// Appends the shown form of n bytes to the text in buf (size bytes, always terminated), cutting
// at a whole byte's form when the buffer is full. Returns the new text length.
std::size_t append_shown(char *buf, std::size_t size, const void *bytes, std::size_t n);

// Prints the shown form of n bytes, or of a terminated string, to standard output.
void print_shown(const void *bytes, std::size_t n);
void print_shown_text(const char *s);

enum shown_decode_result {
    SHOWN_DECODED,
    SHOWN_NOT_SHOWN_FORM, // a byte outside printable ASCII, or a backslash not starting \xNN
    SHOWN_TOO_LONG,       // more bytes than the output holds
};

// Decodes n characters of shown text (\xNN with hex digits of either case, every other
// character printable ASCII and standing for itself) into out, which holds `size` bytes; *len
// gets the number of bytes. On failure *at is the offset of the character that could not be
// taken.
shown_decode_result shown_decode(const char *shown, std::size_t n, unsigned char *out,
                                 std::size_t size, std::size_t *len, std::size_t *at);
