#include "pty_session.h"

#include "run_program.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// How long the program may stay silent while a test waits for its screen: a guard against a
// hang, generous enough for valgrind or qemu.
int silence_limit_ms()
{
    return launcher_in_use() ? 300000 : 30000;
}

} // namespace

pty_session::pty_session(const std::string &stderr_path, const std::vector<std::string> &env,
                         const std::vector<int> &ignored)
{
    if (!open_pty_pair(&pty_))
        return;
    const char *slave_name = pty_.slave_path.c_str();
    // The settings are made before the program starts, so they are known for sure. This side
    // stays open until the child has opened its own (the child's copy closes at exec): with no
    // side open, the master would read as hung up.
    int setup = open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (setup < 0)
        return;
    bool set = tcgetattr(setup, &start_settings) == 0;
    start_settings.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    if (!set || tcsetattr(setup, TCSANOW, &start_settings) != 0) {
        close(setup);
        return;
    }

    // Everything the child needs is prepared before fork: the test process may have threads.
    std::vector<std::string> argv_s = launch_argv(bin_path("okt-eepromtool"), {}, env);
    std::vector<std::string> env_s = launch_env(env);
    std::vector<char *> argv, envp;
    for (std::string &a : argv_s)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string &e : env_s)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    pid_ = fork();
    if (pid_ == 0) {
        setsid();
        int slave = open(slave_name, O_RDWR); // becomes the controlling terminal
        if (slave < 0)
            _exit(126);
        for (int sig : ignored)
            signal(sig, SIG_IGN);
        struct rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(err, 2);
        if (slave > 2)
            close(slave);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(setup);
    if (err >= 0)
        close(err);
    started = pid_ > 0;
}

pty_session::~pty_session()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void pty_session::type(const std::string &keys)
{
    size_t done = 0;
    while (done < keys.size()) {
        ssize_t n = write(pty_.master.get(), keys.data() + done, keys.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

bool pty_session::fill()
{
    struct pollfd p = {pty_.master.get(), POLLIN, 0};
    int r = poll(&p, 1, silence_limit_ms());
    if (r <= 0)
        return false;
    char buf[4096];
    ssize_t n = read(pty_.master.get(), buf, sizeof buf);
    if (n <= 0)
        return false; // EIO: the program closed the terminal
    pending_.append(buf, static_cast<size_t>(n));
    return true;
}

std::string pty_session::take(size_t n)
{
    while (pending_.size() < n && fill()) {
    }
    std::string out = pending_.substr(0, n);
    pending_.erase(0, out.size());
    return out;
}

void pty_session::send_signal(int sig) const
{
    if (pid_ > 0)
        kill(pid_, sig);
}

bool pty_session::settings(termios *t) const
{
    // On the master side, tcgetattr reports the settings of the terminal's other side.
    return tcgetattr(pty_.master.get(), t) == 0;
}

std::string pty_session::finish(int *status, int *wait_status)
{
    while (fill()) {
    }
    std::string out;
    out.swap(pending_);
    *status = -1;
    if (pid_ > 0) {
        // The terminal is closed once the program ends; wait for it only a bounded time.
        for (int waited_ms = 0; waited_ms < silence_limit_ms(); waited_ms += 10) {
            int st;
            if (waitpid(pid_, &st, WNOHANG) == pid_) {
                *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                if (wait_status)
                    *wait_status = st;
                pid_ = -1;
                break;
            }
            usleep(10000);
        }
    }
    return out;
}
