// A minimal updater stand-in for driving the simulated boot loader: opens the slave side raw,
// writes bytes, and reads with an idle time-out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Opens the device read-write in raw mode; returns the descriptor or -1.
int client_open(const std::string &path);
// Writes every byte; returns false when the line refused them.
bool client_send(int fd, const std::string &bytes);
// Reads until `wanted` bytes came or nothing came for idle_ms. *failed (when given) reports a
// read error or end of file, as a hung-up line gives.
std::string client_recv(int fd, std::size_t wanted, int idle_ms, bool *failed = nullptr);

// One 256-byte block whose bytes depend on `seed`.
std::string block_data(int seed);
// The flash stamp for EEPROM bytes 16-23 over the first `len` bytes of `flash`.
std::string flash_stamp(const std::vector<unsigned char> &flash, std::size_t len);
// Milliseconds on a monotonic clock.
double now_ms();
