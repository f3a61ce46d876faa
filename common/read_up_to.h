// Reading a known amount from a descriptor that may deliver it in parts (a pipe).
#pragma once

#include <cstddef>

// Reads up to len bytes, going on after partial reads and interrupted calls. Returns how many
// came before the end of the file or an error; *error, when given, gets the errno of an error
// that stopped the reading, else 0.
std::size_t read_up_to(int fd, unsigned char *buf, std::size_t len, int *error);
