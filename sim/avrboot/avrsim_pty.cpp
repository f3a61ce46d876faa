// The simulator's line: a pseudo-terminal pair, and a pipe that carries stop requests into a
// serving loop.
#include "avr_bootsim.h"

#include "avrsim_pacing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

void reset_records(avrsim *sim)
{
    sim->rx_log.clear();
    sim->exchanges.clear();
    sim->writes.clear();
    sim->violations.clear();
    sim->counts.fill(0);
    sim->pgmend_seen = false;
    sim->verdict = AVRSIM_VERDICT_NONE;
    sim->end = AVRSIM_END_STOPPED;
}

// Makes the pseudo-terminal and the stop pipe; the slave stays open on our side too.
int open_line(avrsim *sim)
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
    if (sim->slave_fd < 0 || pipe2(sim->stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    int flags = fcntl(sim->master_fd, F_GETFL);
    if (flags < 0 || fcntl(sim->master_fd, F_SETFL, flags | O_NONBLOCK) != 0)
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
    reset_records(sim);
    sim->slave_path[0] = 0;
    if (open_line(sim) != 0) {
        avrsim_close(sim);
        return -1;
    }
    return 0;
}

void avrsim_close(avrsim *sim)
{
    close_fd(&sim->master_fd);
    close_fd(&sim->slave_fd);
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
    }
    return "?";
}
