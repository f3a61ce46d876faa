#include "terminal_signals.h"

namespace
{

constexpr int SIGNALS[TERMINAL_SIGNAL_COUNT] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What the handler restores: a copy, since the handler may run at any point of the program.
// Written only while no signal is caught.
int restore_fd = -1;
termios restore_settings;

// Only async-signal-safe calls. The signal is blocked while its handler runs, so after the
// default action is back it must be unblocked for raise to end the program.
void restore_and_end(int sig)
{
    tcsetattr(restore_fd, TCSANOW, &restore_settings);
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(sig, &default_action, nullptr);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, sig);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
    raise(sig);
}

} // namespace

void terminal_signals_catch(int fd, const termios &settings, terminal_signals_saved *saved)
{
    restore_fd = fd;
    restore_settings = settings;
    struct sigaction catcher = {};
    catcher.sa_handler = restore_and_end;
    // The other three wait while one restores the settings.
    sigemptyset(&catcher.sa_mask);
    for (int sig : SIGNALS)
        sigaddset(&catcher.sa_mask, sig);
    for (int i = 0; i < TERMINAL_SIGNAL_COUNT; ++i) {
        saved->caught[i] = false;
        const struct sigaction &before = saved->previous[i];
        if (sigaction(SIGNALS[i], nullptr, &saved->previous[i]) != 0 ||
            (!(before.sa_flags & SA_SIGINFO) && before.sa_handler == SIG_IGN))
            continue;
        saved->caught[i] = sigaction(SIGNALS[i], &catcher, nullptr) == 0;
    }
}

void terminal_signals_release(const terminal_signals_saved &saved)
{
    for (int i = 0; i < TERMINAL_SIGNAL_COUNT; ++i) {
        if (saved.caught[i])
            sigaction(SIGNALS[i], &saved.previous[i], nullptr);
    }
}
