// The simulator's line: a pseudo-terminal pair, and a pipe that carries stop requests into a
// serving loop.
#include "avrsim_pty.h"

#include "avrsim_commands.h"
#include "avrsim_pacing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{

constexpr unsigned DRAIN_SETTLE_MS = 10; // the kernel moves written bytes to the slave lazily
constexpr unsigned DRAIN_STEP_US = 1000;

void close_fd(int *fd)
{
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

// Makes the pseudo-terminal; the slave stays open on our side too.
int open_pty(avrsim *sim)
{
    sim->master_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim->master_fd < 0)
        return -1;
    const char *name = nullptr;
    if (grantpt(sim->master_fd) != 0 || unlockpt(sim->master_fd) != 0 ||
        (name = ptsname(sim->master_fd)) == nullptr || strlen(name) >= sizeof sim->slave_path)
        return -1;
    snprintf(sim->slave_path, sizeof sim->slave_path, "%s", name);
    sim->slave_fd = open(sim->slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim->slave_fd < 0)
        return -1;
    int flags = fcntl(sim->master_fd, F_GETFL);
    if (flags < 0 || fcntl(sim->master_fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return -1;
    return 0;
}

// Watches the slave device for opens and closes by others, to see the updater leave. Our own
// descriptor is open already, so it is not counted. Without inotify the line is not watched.
void watch_peers(avrsim *sim)
{
    sim->peer_opens = 0;
    sim->peers_left = false;
    sim->watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (sim->watch_fd < 0)
        return;
    if (inotify_add_watch(sim->watch_fd, sim->slave_path, IN_OPEN | IN_CLOSE) < 0)
        close_fd(&sim->watch_fd);
}

void close_line(avrsim *sim)
{
    close_fd(&sim->master_fd);
    close_fd(&sim->slave_fd);
    close_fd(&sim->watch_fd);
}

// A new line: pseudo-terminal and watch, and the stop pipe unless it is open already.
int open_line(avrsim *sim)
{
    if (open_pty(sim) != 0)
        return -1;
    watch_peers(sim);
    if (sim->stop_pipe[0] < 0 && pipe2(sim->stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    return 0;
}

} // namespace

avrsim::~avrsim()
{
    avrsim_close(this);
}

int avrsim_open(avrsim *sim, const avrsim_config &cfg)
{
    avrsim_close(sim);
    sim->cfg = cfg;
    memset(sim->flash, cfg.flash_fill, sizeof sim->flash);
    memset(sim->eeprom, cfg.eeprom_fill, sizeof sim->eeprom);
    bootsim::reset_records(sim);
    sim->end = AVRSIM_END_STOPPED;
    sim->session = 0;
    sim->slave_path[0] = 0;
    if (open_line(sim) != 0) {
        avrsim_close(sim);
        return -1;
    }
    return 0;
}

void avrsim_close(avrsim *sim)
{
    close_line(sim);
    close_fd(&sim->stop_pipe[0]);
    close_fd(&sim->stop_pipe[1]);
}

void avrsim_stop(avrsim *sim)
{
    if (sim->stop_pipe[1] >= 0) {
        char b = 's';
        ssize_t ignored = write(sim->stop_pipe[1], &b, 1);
        (void)ignored;
    }
}

int avrsim_drain(avrsim *sim, unsigned limit_ms)
{
    using bootsim::NS_PER_MS;
    using bootsim::NS_PER_US;
    if (sim->slave_fd < 0)
        return -1;
    bootsim::sleep_ns(DRAIN_SETTLE_MS * NS_PER_MS);
    std::int64_t end = bootsim::now_ns() + (std::int64_t)limit_ms * NS_PER_MS;
    for (;;) {
        int queued = 0;
        if (ioctl(sim->slave_fd, TIOCINQ, &queued) != 0)
            return -1;
        if (queued == 0)
            return 0;
        if (bootsim::now_ns() >= end)
            return -1;
        bootsim::sleep_ns(DRAIN_STEP_US * NS_PER_US);
    }
}

void bootsim::replace_line(avrsim *sim)
{
    const int old_fds[] = {sim->master_fd, sim->slave_fd, sim->watch_fd};
    char old_path[sizeof sim->slave_path];
    memcpy(old_path, sim->slave_path, sizeof old_path);
    sim->master_fd = sim->slave_fd = sim->watch_fd = -1;
    if (open_line(sim) == 0) {
        if (!sim->link_path.empty())
            avrsim_link(sim, sim->link_path.c_str());
    } else {
        close_line(sim);
        memcpy(sim->slave_path, old_path, sizeof old_path);
    }
    for (int fd : old_fds)
        if (fd >= 0)
            close(fd);
}

void bootsim::read_peer_events(avrsim *sim)
{
    if (sim->watch_fd < 0)
        return;
    alignas(struct inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = read(sim->watch_fd, buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at + (ssize_t)sizeof(struct inotify_event) <= n;) {
            struct inotify_event ev;
            memcpy(&ev, buf + at, sizeof ev);
            if (ev.mask & IN_OPEN)
                ++sim->peer_opens;
            if ((ev.mask & IN_CLOSE) && sim->peer_opens > 0 && --sim->peer_opens == 0)
                sim->peers_left = true;
            at += (ssize_t)(sizeof ev + ev.len);
        }
    }
}

const char *avrsim_end_name(avrsim_end end)
{
    switch (end) {
    case AVRSIM_END_FINISHED:
        return "finished";
    case AVRSIM_END_HUNG_UP:
        return "hung up";
    case AVRSIM_END_QUIET:
        return "quiet";
    case AVRSIM_END_STOPPED:
        return "stopped";
    case AVRSIM_END_ERROR:
        return "line error";
    case AVRSIM_END_CLOSED:
        return "closed";
    }
    return "?";
}
