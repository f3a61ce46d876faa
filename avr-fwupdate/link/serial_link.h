// The serial link to the AVR: a tty opened non-blocking in raw mode, one write per send, and
// receives built from 10 ms readiness waits with an idle allowance.
#pragma once

#include <cstddef>
#include <termios.h>

enum comm_open_result {
    COMM_OPEN_OK = 0,
    COMM_OPEN_FAILED = 1,   // the device node cannot be opened
    COMM_CONFIG_FAILED = 2, // the settings cannot be applied; the port has been closed
    COMM_PORT_BUSY = 3,     // another process holds the port's lock; the port has been closed
};

// Opens `devnode` (O_RDWR | O_NONBLOCK), takes an exclusive advisory lock on it (flock, without
// waiting) before changing anything, switches it to raw mode at `speed` (a B* constant), flushes
// both queues once and stores the descriptor in *fd on success. The lock lasts until the
// descriptor is closed.
int open_comm_port(const char *devnode, speed_t speed, int *fd);

// Sends len bytes with exactly one write, then waits for them to leave (tcdrain).
// Returns 0 when the write took all bytes, -1 otherwise (nothing is retried).
int avr_send(int fd, const unsigned char *buf, std::size_t len);

// Receives up to `wanted` bytes into buf. Gives up after idle_limit + 1 idle 10 ms cycles with
// nothing received, or idle_limit idle cycles in a row once bytes have come. Never reads more
// than wanted bytes from the device. Returns the count received (0..wanted).
int avr_receive(int fd, unsigned char *buf, int wanted, int idle_limit);
