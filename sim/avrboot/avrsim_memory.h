// The simulated AVR's memories: the stamp check the end command performs, and loading and saving
// them as raw files.
#pragma once

#include <cstddef>

struct avrsim;

// The stamp check "#PGMEND\r" performs on the current memories: 1 when the flash word sum and
// length match EEPROM bytes 16-23, else 0. `received_end` is the end of the highest flash block
// stored in this session (0: none; the stamped length is then taken as it is).
int avrsim_stamp_matches(const avrsim *sim, std::size_t received_end);

// The end of the highest flash block stored in this session; 0 when none was.
std::size_t avrsim_flash_received_end(const avrsim *sim);

// Stores one block of 256 bytes in the flash or the EEPROM and records the write.
void avrsim_store_block(avrsim *sim, bool flash, int block, const unsigned char *data);

// Fills the start of a memory of `size` bytes from a raw file; the rest keeps what it holds.
// Returns the bytes read, -1 when the file cannot be read, or -2 when it is longer than the
// memory (the memory is then unchanged).
long avrsim_load(const char *path, unsigned char *memory, std::size_t size);

// Writes the bytes to a file (created or truncated). Returns 0 or -1.
int avrsim_save(const char *path, const unsigned char *data, std::size_t len);
