#include "sim_program.h"

#include "run_program.h"
#include "sim_client.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr int POLL_STEP_US = 20000;

} // namespace

std::string sim_program()
{
    return bin_path("avr-bootsim");
}

pid_t spawn_sim(const std::vector<std::string> &args, const std::string &out_path)
{
    std::vector<std::string> argv_s = launch_argv(sim_program(), args, {});
    std::vector<char *> argv;
    for (std::string &a : argv_s)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out);
    return pid;
}

int wait_status(pid_t pid)
{
    int st = 0;
    if (waitpid(pid, &st, 0) != pid)
        return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

std::string wait_for_text(const std::string &path, const std::string &text)
{
    double t0 = now_ms();
    std::string s;
    while (now_ms() - t0 < START_LIMIT_MS) {
        s = read_file(path);
        if (s.find(text) != std::string::npos)
            return s;
        usleep(POLL_STEP_US);
    }
    return s;
}

std::string link_target(const std::string &path)
{
    char buf[4096];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

std::string wait_for_link(const std::string &path)
{
    double t0 = now_ms();
    std::string target;
    while ((target = link_target(path)).empty() && now_ms() - t0 < START_LIMIT_MS)
        usleep(POLL_STEP_US);
    return target;
}

std::string first_line(const std::string &s)
{
    std::size_t nl = s.find('\n');
    return nl == std::string::npos ? std::string() : s.substr(0, nl);
}

std::string shell_quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
