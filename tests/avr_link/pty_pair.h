// A pseudo-terminal for tests of the serial link: the test plays the device on the master side,
// the code under test opens the slave path like a real serial port.
#pragma once

#include "owners.h"

#include <string>

struct pty_pair {
    unique_fd master;
    std::string slave_path;
};

// Creates a pty; false when the system has none to give.
bool open_pty_pair(pty_pair *pty);

// Reads what is queued on the master within about timeout_ms, at most max bytes.
std::string drain_master(int master, std::size_t max, int timeout_ms);
