// Bytes of the inspected files (identification letter, hardware id) and of the command line
// (file names, the expected hardware id) as they are shown: printable ASCII stays, every other
// byte and the backslash itself become \xNN with two lower-case hex digits, so nothing a file
// holds reaches the terminal as a control sequence and the shown text tells every byte apart.
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

// Prints a JSON string: the shown form of the bytes, with quotes and backslashes escaped for JSON
// (so a byte shown as \x1b is "\\x1b" in the JSON source).
void json_shown(const void *bytes, std::size_t n);
void json_shown_text(const char *s);
// Prints text that is shown already (printable ASCII) as a JSON string.
void json_string(const char *shown);
