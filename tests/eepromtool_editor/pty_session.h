// okt-eepromtool started the way a technician starts it: on the slave side of a pseudo-terminal
// (standard input and output), the test typing keys into the master and reading the screen.
#pragma once

#include "pty_pair.h"

#include <string>
#include <sys/types.h>
#include <termios.h>
#include <vector>

struct pty_session {
    // Starts okt-eepromtool without arguments under the test launcher, with `env` added to its
    // environment and the signals `ignored` ignored (as nohup or a background job leaves them).
    // The terminal keeps its default settings except that output line ends are not turned into
    // CR LF, so screens compare byte for byte. Standard error goes to a file; no core file is
    // written.
    pty_session(const std::string &stderr_path, const std::vector<std::string> &env,
                const std::vector<int> &ignored = {});
    ~pty_session();
    pty_session(const pty_session &) = delete;
    pty_session &operator=(const pty_session &) = delete;

    // Sends keys as typed on the keyboard.
    void type(const std::string &keys);
    // The next n bytes of the screen; fewer only when the program stopped writing for too long
    // (a hang guard, never a speed check) or ended.
    std::string take(size_t n);
    // Everything the program still writes until it ends, and its exit status (128 + signal
    // when killed, -1 when it did not end in time); `wait_status` gets waitpid's status.
    std::string finish(int *status, int *wait_status = nullptr);

    void send_signal(int sig) const;
    // The terminal's settings now, as the program's side of it has them; false on failure.
    bool settings(termios *t) const;

    bool started = false;
    termios start_settings{}; // the terminal's settings when the program started

  private:
    bool fill(); // reads more output; false at the end or on time-out
    pid_t pid_ = -1;
    pty_pair pty_;
    std::string pending_;
};
