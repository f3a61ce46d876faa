// The serial link to the AVR: a tty opened non-blocking in raw mode, one write per send, and
// receives built from 10 ms readiness waits with an idle allowance.
#pragma once

#include <cstddef>
#include <termios.h>

enum comm_open_result {
    COMM_OPEN_OK,
    COMM_OPEN_FAILED,   // the device node cannot be opened
    COMM_CONFIG_FAILED, // the settings cannot be applied; the port has been closed
    COMM_PORT_BUSY,     // another process holds the port's lock; the port has been closed
};

// Opens `devnode` (O_RDWR | O_NONBLOCK), takes an exclusive advisory lock on it (flock, without
// waiting) before changing anything, switches it to raw mode at `speed` (a B* constant), flushes
// both queues once and stores the descriptor in *fd on success. The lock lasts until the
// descriptor is closed.
comm_open_result open_comm_port(const char *devnode, speed_t speed, int *fd);

enum avr_send_result {
    AVR_SENT,        // the write took all bytes
    AVR_SEND_FAILED, // it took fewer or failed; nothing is retried
};

// Sends len bytes with exactly one write, then waits for them to leave (tcdrain).
avr_send_result avr_send(int fd, const unsigned char *buf, std::size_t len);

// Receives up to `wanted` bytes into buf. Gives up after idle_limit + 1 idle 10 ms cycles with
// nothing received, or idle_limit idle cycles in a row once bytes have come. Never reads more
// than wanted bytes from the device. Returns the count received (0..wanted).
int avr_receive(int fd, unsigned char *buf, int wanted, int idle_limit);
