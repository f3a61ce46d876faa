// okt-eepromtool started the way a technician starts it: on the slave side of a pseudo-terminal
// (standard input and output), the test typing keys into the master and reading the screen.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct pty_session {
    // Starts okt-eepromtool without arguments under the test launcher, with `env` added to its
    // environment. The terminal keeps its default settings except that output line ends are not
    // turned into CR LF, so screens compare byte for byte. Standard error goes to a file.
    pty_session(const std::string &stderr_path, const std::vector<std::string> &env);
    ~pty_session();
    pty_session(const pty_session &) = delete;
    pty_session &operator=(const pty_session &) = delete;

    // Sends keys as typed on the keyboard.
    void type(const std::string &keys);
    // The next n bytes of the screen; fewer only when the program stopped writing for too long
    // (a hang guard, never a speed check) or ended.
    std::string take(size_t n);
    // Everything the program still writes until it ends, and its exit status (128 + signal
    // when killed, -1 when it did not end in time).
    std::string finish(int *status);

    bool started = false;

  private:
    bool fill(); // reads more output; false at the end or on time-out
    pid_t pid_ = -1;
    int master_ = -1;
    std::string pending_;
};
