#include "run_program.h"

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace
{

std::vector<std::string> split_blanks(const char *s)
{
    std::vector<std::string> words;
    std::istringstream in(s ? s : "");
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

} // namespace

namespace
{
// A setting from the environment when it is set there, else the build's compiled-in choice.
const char *setting(const char *env_name, const char *compiled)
{
    const char *v = getenv(env_name);
    return v ? v : compiled;
}

std::string dir_or(const char *env_name, const char *compiled, const char *fallback)
{
    const char *v = setting(env_name, compiled);
    return std::string(*v ? v : fallback);
}

// Entries for the dynamic loader (LD_PRELOAD, ...) must reach the program, not the launcher
// itself: they go through the launcher's option. Everything else is inherited as usual (qemu's
// option would split a value at its commas).
bool for_loader(const std::string &entry)
{
    return entry.compare(0, 3, "LD_") == 0;
}

const char *launcher_words()
{
    return setting("OKT_TEST_LAUNCHER", OKT_DEFAULT_LAUNCHER);
}

const char *launcher_env_flag()
{
    return setting("OKT_TEST_LAUNCHER_ENV_FLAG", OKT_DEFAULT_LAUNCHER_ENV_FLAG);
}
} // namespace

std::string bin_path(const std::string &name)
{
    return dir_or("OKT_TEST_PROGRAM_DIR", OKT_DEFAULT_PROGRAM_DIR, OKT_BIN_DIR) + "/" + name;
}

std::string lib_path(const std::string &name)
{
    return dir_or("OKT_TEST_LIBRARY_DIR", OKT_DEFAULT_LIBRARY_DIR, OKT_LIB_DIR) + "/" + name;
}

std::string source_path(const std::string &relative)
{
    return std::string(OKT_SOURCE_DIR) + "/" + relative;
}

bool launcher_in_use()
{
    return !split_blanks(launcher_words()).empty();
}

std::vector<std::string> launch_argv(const std::string &program,
                                     const std::vector<std::string> &args,
                                     const std::vector<std::string> &env)
{
    std::vector<std::string> argv = split_blanks(launcher_words());
    const char *flag = launcher_env_flag();
    if (!argv.empty() && flag && *flag) {
        for (const std::string &e : env) {
            if (!for_loader(e))
                continue;
            argv.push_back(flag);
            argv.push_back(e);
        }
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> launch_env(const std::vector<std::string> &env)
{
    const char *flag = launcher_env_flag();
    bool env_by_flag = launcher_in_use() && flag && *flag;
    std::vector<std::string> given;
    for (const std::string &e : env)
        if (!env_by_flag || !for_loader(e))
            given.push_back(e);
    // An entry given here replaces one of the same name inherited from this process.
    auto name_of = [](const std::string &e) { return e.substr(0, e.find('=') + 1); };
    std::vector<std::string> env_s;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string &g : given)
            replaced = replaced || name_of(g) == name_of(entry);
        if (!replaced)
            env_s.push_back(entry);
    }
    env_s.insert(env_s.end(), given.begin(), given.end());
    return env_s;
}

namespace
{
// The child's side: its standard streams, limits and folder, then the program.
[[noreturn]] void exec_child(const run_options &opts, int in_fd, int out_fd, int err_fd,
                             char *const argv[], char *const envp[])
{
    dup2(in_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    if (opts.file_size_limit >= 0) {
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(opts.file_size_limit);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (opts.ignore_sigxfsz)
        signal(SIGXFSZ, SIG_IGN);
    if (!opts.dir.empty() && chdir(opts.dir.c_str()) != 0)
        _exit(127);
    execvpe(argv[0], argv, envp);
    _exit(127);
}

// Feeds opts.stdin_text to the child through in_fd (closed when all is written, or at once when
// there is nothing to write) and collects what it writes until both output pipes end, or kills
// it at the deadline.
void exchange(pid_t pid, int in_fd, int out_fd, int err_fd, const run_options &opts,
              run_result *res)
{
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    if (opts.stdin_from_null || opts.stdin_text.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }

    long long deadline = now_ms() + opts.timeout_seconds * 1000LL;
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        struct pollfd fds[3];
        int n = 0;
        if (out_open)
            fds[n++] = {out_fd, POLLIN, 0};
        if (err_open)
            fds[n++] = {err_fd, POLLIN, 0};
        if (in_fd >= 0)
            fds[n++] = {in_fd, POLLOUT, 0};
        long long left = deadline - now_ms();
        if (left <= 0) {
            kill(pid, SIGKILL);
            res->timed_out = true;
            break;
        }
        int r = poll(fds, n, static_cast<int>(left > 1000 ? 1000 : left));
        if (r < 0 && errno != EINTR)
            break;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == in_fd) {
                ssize_t w = write(in_fd, opts.stdin_text.data() + written,
                                  opts.stdin_text.size() - written);
                if (w > 0)
                    written += static_cast<size_t>(w);
                if (w < 0 || written == opts.stdin_text.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            char buf[65536];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                if (fds[i].fd == out_fd)
                    out_open = false;
                else
                    err_open = false;
                continue;
            }
            (fds[i].fd == out_fd ? res->out : res->err).append(buf, static_cast<size_t>(got));
        }
    }
    if (in_fd >= 0)
        close(in_fd);
}

// The child's exit status, 128 + the signal's number when a signal ended it.
int wait_status(pid_t pid)
{
    int wstatus = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &wstatus, 0)) < 0 && errno == EINTR) {
    }
    if (waited < 0)
        return -1;
    if (WIFEXITED(wstatus))
        return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus))
        return 128 + WTERMSIG(wstatus);
    return -1;
}
} // namespace

run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const run_options &opts)
{
    run_result res;
    std::vector<std::string> argv_s = launch_argv(program, args, opts.env);

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) || pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC))
        return res;

    // Everything the child needs is prepared before fork: the test process may have threads.
    std::vector<std::string> env_s = launch_env(opts.env);
    std::vector<char *> envp;
    for (std::string &e : env_s)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char *> argv;
    for (std::string &a : argv_s)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int nul = open("/dev/null", O_RDONLY | O_CLOEXEC);

    pid_t pid = fork();
    if (pid == 0)
        exec_child(opts, opts.stdin_from_null ? nul : in_pipe[0], out_pipe[1], err_pipe[1],
                   argv.data(), envp.data());
    if (nul >= 0)
        close(nul);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (pid < 0) {
        for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]})
            close(fd);
        return res;
    }

    exchange(pid, in_pipe[1], out_pipe[0], err_pipe[0], opts, &res);
    close(out_pipe[0]);
    close(err_pipe[0]);
    res.status = wait_status(pid);
    return res;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> lines_with(const std::string &text, const std::string &part)
{
    std::vector<std::string> found;
    for (const std::string &line : split_lines(text)) {
        if (line.find(part) != std::string::npos)
            found.push_back(line);
    }
    return found;
}
