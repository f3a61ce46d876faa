// The serving loop. One loop waits for whichever comes first: a byte from the line, a due answer
// byte, a time-out, an open or close of the device, or a stop request; the state machine
// (avrsim_commands) does the rest.
#include "avr_bootsim.h"

#include "avrsim_commands.h"
#include "avrsim_pacing.h"
#include "avrsim_pty.h"
#include "avrsim_session.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

using namespace bootsim;

namespace
{

constexpr std::size_t READ_CHUNK = 512;
constexpr std::int64_t NO_DEADLINE = INT64_MAX;
// After the updater has closed the device, bytes it wrote before may still be on their way
// through the kernel: unless someone opens the device again, the session ends only after this
// long.
constexpr std::int64_t CLOSE_SETTLE_NS = 20 * NS_PER_MS;

std::int64_t next_deadline(const avrsim *sim, const serve_state *st)
{
    const line_pacing &line = st->line;
    std::int64_t d = NO_DEADLINE;
    if (input_waiting(&line))
        d = std::min(d, line.input[line.input_pos].arrival_ns);
    if (!line.output.empty())
        d = std::min(d, line.output.front().due_ns);
    std::int64_t limit = (std::int64_t)sim->cfg.data_timeout_ms * NS_PER_MS;
    if (mid_command(st) && !input_waiting(&line))
        d = std::min(d, st->last_arrival_ns + limit);
    if (sim->cfg.quiet_timeout_ms != 0 && line.output.empty() && !st->finish_pending)
        d = std::min(d, st->last_activity_ns + (std::int64_t)sim->cfg.quiet_timeout_ms * NS_PER_MS);
    if (st->closed_ns != 0)
        d = std::min(d, st->closed_ns + CLOSE_SETTLE_NS);
    return d;
}

// Writes every due answer byte. Returns -1 when the line failed.
int flush_output(avrsim *sim, serve_state *st, std::int64_t now, bool *blocked)
{
    std::vector<pending_byte> &output = st->line.output;
    *blocked = false;
    std::size_t due = 0;
    while (due < output.size() && output[due].due_ns <= now)
        ++due;
    if (due == 0)
        return 0;
    unsigned char buf[READ_CHUNK];
    std::size_t n = std::min(due, sizeof buf);
    for (std::size_t i = 0; i < n; ++i)
        buf[i] = output[i].byte;
    ssize_t w = write(sim->master_fd, buf, n);
    if (w < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            *blocked = errno == EAGAIN;
            return 0;
        }
        return -1;
    }
    output.erase(output.begin(), output.begin() + w);
    st->last_activity_ns = now;
    return 0;
}

// Reads what the line holds and gives each byte its modelled arrival time.
int read_input(avrsim *sim, serve_state *st, std::int64_t now)
{
    unsigned char buf[READ_CHUNK];
    ssize_t n = read(sim->master_fd, buf, sizeof buf);
    if (n < 0)
        return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    pace_input(&st->line, now, buf, (std::size_t)n);
    if (n > 0 && !st->heard) {
        // The sender opened the device before it wrote, so its open is there to be read now.
        // Whether anyone holds the device now tells if it has left already; closes from before
        // belong to an earlier session.
        read_peer_events(sim);
        sim->peers_left = sim->peer_opens == 0;
        st->heard = true;
    }
    if (n > 0)
        st->last_activity_ns = now;
    return 0;
}

// Hands every byte whose arrival time has come to the state machine. Returns false when a
// hang-up rule closed the line.
bool take_arrived_input(avrsim *sim, serve_state *st, std::int64_t now)
{
    line_pacing &line = st->line;
    while (input_waiting(&line) && line.input[line.input_pos].arrival_ns <= now) {
        const arriving_byte &a = line.input[line.input_pos++];
        if (!take_byte(sim, st, a.byte, a.arrival_ns))
            return false;
    }
    if (!input_waiting(&line)) {
        line.input.clear();
        line.input_pos = 0;
    }
    return true;
}

// True when nothing is under way: no byte to handle or send, no command half received.
bool idle(const serve_state *st)
{
    return st->line.output.empty() && st->line.input.empty() && !mid_command(st);
}

// Notes when the updater has left the line after talking, and when the device has been opened
// again since.
void follow_peers(avrsim *sim, serve_state *st, std::int64_t now)
{
    if (sim->watch_fd < 0 || !st->heard)
        return;
    if (st->closed_ns == 0 && sim->peers_left)
        st->closed_ns = now;
    if (st->closed_ns != 0 && sim->peer_opens > 0)
        st->fenced = true;
}

// True when the updater left and everything it sent before has been handled. What it did not
// read of our answers is dropped, as a closed serial port drops it.
bool left_for_good(avrsim *sim, serve_state *st, std::int64_t now)
{
    follow_peers(sim, st, now);
    if (st->closed_ns == 0 || input_waiting(&st->line))
        return false;
    if (!st->fenced && now < st->closed_ns + CLOSE_SETTLE_NS)
        return false;
    drop_on_close(sim, st);
    tcflush(sim->slave_fd, TCIFLUSH);
    return true;
}

// One turn of work at `now`. Returns true with *end set when serving is over.
bool work(avrsim *sim, serve_state *st, std::int64_t now, bool *blocked, avrsim_end *end)
{
    if (!take_arrived_input(sim, st, now)) {
        *end = AVRSIM_END_HUNG_UP;
        return true;
    }
    if (left_for_good(sim, st, now)) {
        *end = AVRSIM_END_CLOSED;
        return true;
    }
    check_receive_timeouts(sim, st, now);
    if (flush_output(sim, st, now, blocked) != 0) {
        *end = AVRSIM_END_ERROR;
        return true;
    }
    if (st->finish_pending && idle(st)) {
        *end = AVRSIM_END_FINISHED;
        return true;
    }
    return false;
}

// Waits for the line, a stop request or the deadline. Returns true with *end set when serving
// is over.
bool wait_for_line(avrsim *sim, serve_state *st, std::int64_t now, std::int64_t deadline,
                   bool blocked, avrsim_end *end)
{
    struct pollfd fds[3];
    short in = st->fenced ? 0 : POLLIN;
    fds[0] = {sim->master_fd, (short)(in | (blocked ? POLLOUT : 0)), 0};
    fds[1] = {sim->stop_pipe[0], POLLIN, 0};
    fds[2] = {sim->watch_fd, POLLIN, 0}; // ignored while negative
    struct timespec timeout;
    struct timespec *tp = nullptr;
    if (deadline != NO_DEADLINE) {
        std::int64_t wait = std::max<std::int64_t>(0, deadline - now);
        timeout.tv_sec = (time_t)(wait / NS_PER_S);
        timeout.tv_nsec = (long)(wait % NS_PER_S);
        tp = &timeout;
    }
    int r = ppoll(fds, 3, tp, nullptr);
    if (r < 0) {
        if (errno == EINTR)
            return false;
        *end = AVRSIM_END_ERROR;
        return true;
    }
    if (fds[1].revents & POLLIN) {
        char b;
        ssize_t ignored = read(sim->stop_pipe[0], &b, 1);
        (void)ignored;
        *end = AVRSIM_END_STOPPED;
        return true;
    }
    if (fds[2].revents & POLLIN) {
        // Before the line: a new updater's open must fence off its bytes from this session.
        read_peer_events(sim);
        follow_peers(sim, st, now);
    }
    bool readable = fds[0].revents & (POLLIN | POLLHUP | POLLERR);
    if (readable && !st->fenced && read_input(sim, st, now_ns()) != 0) {
        *end = AVRSIM_END_ERROR;
        return true;
    }
    return false;
}

} // namespace

avrsim_end avrsim_serve(avrsim *sim)
{
    reset_records(sim);
    ++sim->session;
    sim->peers_left = false;
    if (sim->master_fd < 0)
        return sim->end = AVRSIM_END_ERROR;
    serve_state st;
    pace_at(&st.line, sim->cfg.baud);
    st.last_activity_ns = now_ns();
    bool blocked = false;
    avrsim_end end = AVRSIM_END_STOPPED;
    for (;;) {
        std::int64_t now = now_ns();
        if (work(sim, &st, now, &blocked, &end))
            return sim->end = end;
        std::int64_t deadline = next_deadline(sim, &st);
        if (sim->cfg.quiet_timeout_ms != 0 && !st.finish_pending && idle(&st) && now >= deadline)
            return sim->end = AVRSIM_END_QUIET;
        if (wait_for_line(sim, &st, now, deadline, blocked, &end))
            return sim->end = end;
    }
}
