// Printers for the values of the JSON reports on standard output. Strings hold printable ASCII
// only: bytes from files and devices go out in their shown form (shown_bytes.h).
#pragma once

#include <cstddef>

// Prints a JSON string: the shown form of the bytes, with quotes and backslashes escaped for JSON
// (so a byte shown as \x1b is "\\x1b" in the JSON source).
void json_shown(const void *bytes, std::size_t n);
void json_shown_text(const char *s);
// Prints text that is shown already (printable ASCII) as a JSON string.
void json_string(const char *shown);
// Prints the bytes as one JSON string of two lower-case hex digits a byte ("0aff").
void json_hex(const void *bytes, std::size_t n);

// "true" or "false".
const char *json_bool(bool b);
