#include "pty_pair.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool open_pty_pair(pty_pair *pty)
{
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    pty->master.reset(fd);
    if (grantpt(fd) != 0 || unlockpt(fd) != 0)
        return false;
    char name[128];
    if (ptsname_r(fd, name, sizeof name) != 0)
        return false;
    pty->slave_path = name;
    return true;
}

std::string drain_master(int master, std::size_t max, int timeout_ms)
{
    std::string got;
    while (got.size() < max) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN))
            break;
        char buf[4096];
        std::size_t want = max - got.size() < sizeof buf ? max - got.size() : sizeof buf;
        ssize_t n = read(master, buf, want);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}
