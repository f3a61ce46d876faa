// A pseudo-terminal for tests: the test holds the master side and plays the device or the
// keyboard and screen; the code or program under test opens the slave path like a real serial
// port or terminal.
#pragma once

#include "owners.h"

#include <cstddef>
#include <string>

struct pty_pair {
    unique_fd master; // closed on exec
    std::string slave_path;
};

// Creates a pty; false when the system has none to give.
bool open_pty_pair(pty_pair *pty);

// Reads what is queued on the master within about timeout_ms, at most max bytes.
std::string drain_master(int master, std::size_t max, int timeout_ms);
