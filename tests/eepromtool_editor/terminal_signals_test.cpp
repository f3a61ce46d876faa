// The editor ended by a signal while it waits for a key, the terminal in single-key mode: the
// terminal must get its settings back (echo and line mode), and the program must still end by
// that signal, as it did before.
#include "editor_fixture.h"

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <termios.h>

namespace
{

void expect_same_settings(const termios &got, const termios &want)
{
    EXPECT_EQ(got.c_iflag, want.c_iflag) << "input flags";
    EXPECT_EQ(got.c_oflag, want.c_oflag) << "output flags";
    EXPECT_EQ(got.c_cflag, want.c_cflag) << "control flags";
    EXPECT_EQ(got.c_lflag, want.c_lflag) << "local flags (ICANON, ECHO, ...)";
    EXPECT_EQ(memcmp(got.c_cc, want.c_cc, sizeof got.c_cc), 0) << "control characters";
}

struct signal_case {
    const char *name;
    int sig;
    const char *key; // typed on the terminal instead of sent with kill; null: kill
};

const signal_case SIGNAL_CASES[] = {
    {"SIGINT", SIGINT, nullptr},           {"SIGTERM", SIGTERM, nullptr},
    {"SIGHUP", SIGHUP, nullptr},           {"SIGQUIT", SIGQUIT, nullptr},
    {"the interrupt key", SIGINT, "\x03"}, {"the quit key", SIGQUIT, "\x1c"},
};

TEST_F(editor_test, ASignalWhileWaitingForAKeyRestoresTheTerminalAndEndsTheProgram)
{
    for (const signal_case &c : SIGNAL_CASES) {
        SCOPED_TRACE(c.name);
        start();
        termios waiting;
        ASSERT_TRUE(s->settings(&waiting));
        ASSERT_EQ(waiting.c_lflag & static_cast<tcflag_t>(ICANON | ECHO), 0u)
            << "the program is not waiting in single-key mode";
        if (c.key)
            s->type(c.key);
        else
            s->send_signal(c.sig);
        int status;
        int wait_status = 0;
        EXPECT_EQ(s->finish(&status, &wait_status), "");
        ASSERT_NE(status, -1) << "the program did not end";
        EXPECT_TRUE(WIFSIGNALED(wait_status));
        EXPECT_EQ(WTERMSIG(wait_status), c.sig);
        termios after;
        ASSERT_TRUE(s->settings(&after));
        expect_same_settings(after, s->start_settings);
    }
}

// Started with nohup, or as a background job of a script, the editor has SIGHUP or SIGINT
// ignored: they must not end it while it waits for a key.
TEST_F(editor_test, ASignalTheProgramIgnoresStaysIgnoredWhileItWaitsForAKey)
{
    ignored_signals = {SIGHUP, SIGINT};
    start();
    s->send_signal(SIGHUP);
    s->send_signal(SIGINT);
    key("2", main_screen(MOTHERBOARD, motherboard_info()));
    quit();
    termios after;
    ASSERT_TRUE(s->settings(&after));
    expect_same_settings(after, s->start_settings);
}

} // namespace
