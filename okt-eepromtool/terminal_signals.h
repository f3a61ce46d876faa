// The terminal's settings on the signals that end the program: while the console has changed
// them, SIGINT, SIGTERM, SIGHUP and SIGQUIT put the saved settings back before the program ends,
// so the technician is not left typing blind. The program still ends by the same signal with its
// default action, so its exit status is the one it had without this.
#pragma once

#include <csignal>
#include <termios.h>

constexpr int TERMINAL_SIGNAL_COUNT = 4;

// The dispositions the signals had before terminal_signals_catch.
struct terminal_signals_saved {
    struct sigaction previous[TERMINAL_SIGNAL_COUNT];
    bool caught[TERMINAL_SIGNAL_COUNT];
};

// From now on each of the four signals applies `settings` to `fd` (tcsetattr, TCSANOW) and then
// ends the program by itself with its default action. A signal the process ignores stays ignored
// (nohup, a background job). Call before changing the settings; one catch at a time.
void terminal_signals_catch(int fd, const termios &settings, terminal_signals_saved *saved);

// Puts back the dispositions terminal_signals_catch saved. Call once the settings are restored.
void terminal_signals_release(const terminal_signals_saved &saved);
