// The boot-loader state machine and its event loop. Received bytes are given modelled arrival
// times (10 bit times each at the configured rate) and handled only when they would have arrived;
// answer bytes are queued with the times they may leave. One loop waits for whichever comes
// first: a byte from the line, a due answer byte, a time-out, or a stop request.
#include "avr_bootsim.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace
{

constexpr std::int64_t NS_PER_MS = 1000000;
constexpr std::int64_t NS_PER_US = 1000;
constexpr std::int64_t NS_PER_S = 1000000000;
constexpr int BITS_PER_BYTE = 10; // start bit, 8 data bits, stop bit
constexpr std::size_t READ_CHUNK = 512;
constexpr std::int64_t NO_DEADLINE = INT64_MAX;
constexpr unsigned DRAIN_SETTLE_MS = 10; // the kernel moves written bytes to the slave lazily
constexpr unsigned DRAIN_STEP_US = 1000;

const char *const ANSWER_ERROR = ">ERROR!!";
const char *const DEFAULT_GARBAGE = "?GARBLE?";
const char *const DEFAULT_EXTRA = "+";

std::int64_t now_ns()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * NS_PER_S + ts.tv_nsec;
}

// Sleeps the whole time on the monotonic clock, also across interrupting signals.
void sleep_ns(std::int64_t ns)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / NS_PER_S);
    ts.tv_nsec = static_cast<long>(ns % NS_PER_S);
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
}

void close_fd(int *fd)
{
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

enum command_kind {
    CMD_PREPARE,
    CMD_VERSION,
    CMD_FLASH_BLOCK,
    CMD_EEPROM_BLOCK,
    CMD_END,
    CMD_INVALID,
};

struct pending_byte {
    std::int64_t due_ns;
    unsigned char byte;
};

struct arriving_byte {
    std::int64_t arrival_ns;
    unsigned char byte;
};

// Everything one avrsim_serve call keeps between loop turns.
struct serve_state {
    std::int64_t byte_time_ns = 0; // 0: no pacing
    std::int64_t rx_clock_ns = 0;  // modelled end of the last received byte
    std::int64_t tx_clock_ns = 0;  // modelled end of the last answer byte scheduled
    std::vector<arriving_byte> input;
    std::size_t input_pos = 0;
    std::vector<pending_byte> output;

    unsigned char cmd[AVRSIM_COMMAND_SIZE];
    std::size_t cmd_len = 0;
    std::int64_t last_arrival_ns = 0; // modelled arrival of the last byte handled

    bool in_data = false; // reading the data of a block command
    command_kind data_kind = CMD_INVALID;
    int data_block = -1;           // -1: an invalid block number (data are read and dropped)
    std::size_t data_exchange = 0; // index into sim->exchanges
    unsigned char data[AVRSIM_BLOCK_SIZE];
    std::size_t data_len = 0;

    bool finish_pending = false; // "#PGMEND\r" answered; return once the output is out
    std::int64_t last_activity_ns = 0;
    std::map<std::string, int> arrivals;
};

__attribute__((format(printf, 3, 4))) void add_violation(avrsim *sim, std::size_t offset,
                                                         const char *fmt, ...)
{
    char text[160];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    sim->violations.push_back({offset, text});
}

int parse_hex3(const unsigned char *p)
{
    int v = 0;
    for (int i = 0; i < 3; ++i) {
        unsigned char c = p[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return -1;
        v = v * 16 + d;
    }
    return v;
}

command_kind classify(const unsigned char *cmd)
{
    if (memcmp(cmd, "#FWUPLD", 7) == 0)
        return CMD_PREPARE;
    if (memcmp(cmd, "#PGMVER", 7) == 0)
        return CMD_VERSION;
    if (memcmp(cmd, "#PGMEND", 7) == 0)
        return CMD_END;
    if (memcmp(cmd, "#BLK", 4) == 0)
        return CMD_FLASH_BLOCK;
    if (memcmp(cmd, "#EBK", 4) == 0)
        return CMD_EEPROM_BLOCK;
    return CMD_INVALID;
}

bool rule_matches(const avrsim_rule &r, const std::string &command, int attempt, int exchange)
{
    if (command.compare(0, r.command.size(), r.command) != 0)
        return false;
    if (r.exchange != 0 && r.exchange != exchange)
        return false;
    if (r.attempt_first != 0) {
        int last = r.attempt_last < 0 ? r.attempt_first : r.attempt_last;
        if (attempt < r.attempt_first || (last != 0 && attempt > last))
            return false;
    }
    return true;
}

const avrsim_rule *find_rule(const avrsim *sim, const avrsim_exchange &ex)
{
    for (const avrsim_rule &r : sim->cfg.rules)
        if (rule_matches(r, ex.command, ex.attempt, ex.number))
            return &r;
    return nullptr;
}

std::vector<unsigned char> text_answer(const char *text, std::size_t len, unsigned char last)
{
    std::vector<unsigned char> a(len, '?');
    std::size_t n = std::min(strlen(text), len);
    memcpy(a.data(), text, n);
    if (n == 7 && len >= AVRSIM_ANSWER_SIZE)
        a[7] = last;
    return a;
}

// The answer a command gets without faults (the end command's verdict is decided by the caller).
std::vector<unsigned char> normal_answer(const avrsim *sim, command_kind kind, bool ok)
{
    unsigned char last = sim->cfg.answer_last_byte;
    switch (kind) {
    case CMD_PREPARE:
        return text_answer(">FWUPLD", AVRSIM_ANSWER_SIZE, last);
    case CMD_VERSION: {
        std::vector<unsigned char> a = text_answer(">PGMVER", AVRSIM_VERSION_ANSWER_SIZE, last);
        memcpy(a.data() + 8, sim->cfg.fw_ident, AVRSIM_IDENT_SIZE);
        return a;
    }
    case CMD_FLASH_BLOCK:
        return text_answer(ok ? ">BLK_OK" : ">BLKERR", AVRSIM_ANSWER_SIZE, last);
    case CMD_EEPROM_BLOCK:
        return text_answer(ok ? ">EBK_OK" : ">EBKERR", AVRSIM_ANSWER_SIZE, last);
    case CMD_END:
        return text_answer(ok ? ">PGM_OK" : ">PGMERR", AVRSIM_ANSWER_SIZE, last);
    case CMD_INVALID:
        break;
    }
    return {};
}

std::size_t answer_size(command_kind kind)
{
    return kind == CMD_VERSION ? AVRSIM_VERSION_ANSWER_SIZE : AVRSIM_ANSWER_SIZE;
}

// Builds the bytes an exchange sends, faults applied. `ok` is the normal verdict.
std::vector<unsigned char> faulted_answer(const avrsim *sim, command_kind kind, bool ok,
                                          const avrsim_rule *rule)
{
    unsigned char last = sim->cfg.answer_last_byte;
    avrsim_fault_kind fault = rule ? rule->kind : AVRSIM_FAULT_NONE;
    std::size_t len = answer_size(kind);
    std::vector<unsigned char> a;
    switch (fault) {
    case AVRSIM_FAULT_NONE:
    case AVRSIM_FAULT_LATE:
    case AVRSIM_FAULT_HANGUP:
        return normal_answer(sim, kind, ok);
    case AVRSIM_FAULT_SILENT:
        return {};
    case AVRSIM_FAULT_SHORT: {
        a = normal_answer(sim, kind, ok);
        std::size_t n = (std::size_t)std::max(1, rule->count);
        a.resize(std::min(n, len - 1));
        return a;
    }
    case AVRSIM_FAULT_GARBAGE:
        return text_answer(rule->text.empty() ? DEFAULT_GARBAGE : rule->text.c_str(), len, last);
    case AVRSIM_FAULT_ERR:
        if (kind == CMD_FLASH_BLOCK || kind == CMD_EEPROM_BLOCK || kind == CMD_END)
            return normal_answer(sim, kind, false);
        return text_answer(ANSWER_ERROR, len, last);
    case AVRSIM_FAULT_DTO:
        if (kind == CMD_FLASH_BLOCK)
            return text_answer(">BLKDTO", len, last);
        if (kind == CMD_EEPROM_BLOCK)
            return text_answer(">EBKDTO", len, last);
        return text_answer(ANSWER_ERROR, len, last);
    case AVRSIM_FAULT_EXTRA: {
        a = normal_answer(sim, kind, ok);
        const std::string extra = rule->text.empty() ? DEFAULT_EXTRA : rule->text;
        for (int i = 0; i < rule->count; ++i)
            a.push_back((unsigned char)extra[(std::size_t)i % extra.size()]);
        return a;
    }
    }
    return a;
}

// Queues answer bytes: ready at `ready_ns`, each taking one byte time on a paced line. A late
// answer does not hold up the line for the answers after it.
void schedule(serve_state *st, std::int64_t ready_ns, const std::vector<unsigned char> &bytes,
              bool late)
{
    std::int64_t t = ready_ns;
    if (!late)
        t = std::max(t, st->tx_clock_ns);
    for (unsigned char b : bytes) {
        t += st->byte_time_ns;
        pending_byte p{t, b};
        auto pos = std::upper_bound(
            st->output.begin(), st->output.end(), p,
            [](const pending_byte &x, const pending_byte &y) { return x.due_ns < y.due_ns; });
        st->output.insert(pos, p);
    }
    if (!late)
        st->tx_clock_ns = t;
}

std::size_t flash_received_end(const avrsim *sim)
{
    std::size_t end = 0;
    for (const avrsim_block_write &w : sim->writes)
        if (w.memory == AVRSIM_FLASH)
            end = std::max(end, (std::size_t)(w.block + 1) * AVRSIM_BLOCK_SIZE);
    return end;
}

void answer_exchange(avrsim *sim, serve_state *st, std::size_t index, command_kind kind, bool ok,
                     std::int64_t ready_ns)
{
    avrsim_exchange &ex = sim->exchanges[index];
    const avrsim_rule *rule = find_rule(sim, ex);
    ex.fault = rule ? rule->kind : AVRSIM_FAULT_NONE;
    std::vector<unsigned char> bytes = faulted_answer(sim, kind, ok, rule);
    bool late = rule && rule->kind == AVRSIM_FAULT_LATE;
    if (late)
        ready_ns += (std::int64_t)rule->delay_ms * NS_PER_MS;
    ex.answer = bytes;
    schedule(st, ready_ns, bytes, late);
}

// The block's data are complete (or timed out when `timed_out`): store and answer.
void finish_block(avrsim *sim, serve_state *st, bool timed_out, std::int64_t at_ns)
{
    st->in_data = false;
    avrsim_exchange &ex = sim->exchanges[st->data_exchange];
    bool flash = st->data_kind == CMD_FLASH_BLOCK;
    unsigned char last = sim->cfg.answer_last_byte;
    if (timed_out) {
        add_violation(sim, sim->rx_log.size(), "block data incomplete: %d of %d bytes arrived",
                      (int)st->data_len, (int)AVRSIM_BLOCK_SIZE);
        ex.answer = text_answer(flash ? ">BLKDTO" : ">EBKDTO", AVRSIM_ANSWER_SIZE, last);
        schedule(st, at_ns, ex.answer, false);
        return;
    }
    std::int64_t ready = at_ns + (std::int64_t)sim->cfg.page_time_us * NS_PER_US;
    if (st->data_block < 0) {
        ex.answer = normal_answer(sim, st->data_kind, false);
        schedule(st, ready, ex.answer, false);
        return;
    }
    const avrsim_rule *rule = find_rule(sim, ex);
    bool refused = rule && (rule->kind == AVRSIM_FAULT_ERR || rule->kind == AVRSIM_FAULT_DTO);
    if (!refused) {
        unsigned char *mem = flash ? sim->flash : sim->eeprom;
        memcpy(mem + (std::size_t)st->data_block * AVRSIM_BLOCK_SIZE, st->data, AVRSIM_BLOCK_SIZE);
        sim->writes.push_back({flash ? AVRSIM_FLASH : AVRSIM_EEPROM, st->data_block});
    }
    answer_exchange(sim, st, st->data_exchange, st->data_kind, true, ready);
}

// A complete 8-byte command. Returns false when a hang-up rule closed the line.
bool handle_command(avrsim *sim, serve_state *st, std::int64_t at_ns)
{
    std::size_t offset = sim->rx_log.size() - AVRSIM_COMMAND_SIZE;
    avrsim_exchange ex;
    ex.number = (int)sim->exchanges.size() + 1;
    ex.command.assign(st->cmd, st->cmd + AVRSIM_COMMAND_SIZE);
    ex.received.assign(st->cmd, st->cmd + AVRSIM_COMMAND_SIZE);
    ex.attempt = ++st->arrivals[ex.command];

    command_kind kind = classify(st->cmd);
    int block = -1;
    if (st->cmd[AVRSIM_COMMAND_SIZE - 1] != '\r') {
        add_violation(sim, offset, "command %d does not end with a carriage return", ex.number);
        kind = CMD_INVALID;
    } else if (kind == CMD_INVALID) {
        add_violation(sim, offset, "command %d is unknown", ex.number);
    } else if (kind == CMD_FLASH_BLOCK || kind == CMD_EEPROM_BLOCK) {
        block = parse_hex3(st->cmd + 4);
        int limit = kind == CMD_FLASH_BLOCK ? AVRSIM_FLASH_BLOCKS : AVRSIM_EEPROM_BLOCKS;
        if (block < 0 || block >= limit) {
            add_violation(sim, offset, "command %d: block number out of range or malformed",
                          ex.number);
            block = -1;
        }
    }
    sim->exchanges.push_back(ex);
    std::size_t index = sim->exchanges.size() - 1;
    if (kind == CMD_INVALID)
        return true;

    bool is_block = kind == CMD_FLASH_BLOCK || kind == CMD_EEPROM_BLOCK;
    // A malformed block command is refused whatever the script says.
    const avrsim_rule *rule =
        is_block && block < 0 ? nullptr : find_rule(sim, sim->exchanges[index]);
    if (rule && rule->kind == AVRSIM_FAULT_HANGUP) {
        sim->exchanges[index].fault = AVRSIM_FAULT_HANGUP;
        avrsim_close(sim);
        return false;
    }

    switch (kind) {
    case CMD_PREPARE:
        ++sim->prepare_count;
        break;
    case CMD_VERSION:
        ++sim->version_count;
        break;
    case CMD_FLASH_BLOCK:
        ++sim->flash_block_count;
        break;
    case CMD_EEPROM_BLOCK:
        ++sim->eeprom_block_count;
        break;
    case CMD_END:
        ++sim->end_count;
        break;
    case CMD_INVALID:
        break;
    }

    if (is_block) {
        st->in_data = true;
        st->data_kind = kind;
        st->data_block = block;
        st->data_exchange = index;
        st->data_len = 0;
        return true;
    }
    bool ok = true;
    if (kind == CMD_END) {
        ok = avrsim_stamp_matches(sim, flash_received_end(sim)) == 1;
        sim->verdict = ok ? AVRSIM_VERDICT_OK : AVRSIM_VERDICT_ERR;
        sim->pgmend_seen = true;
        st->finish_pending = true;
    }
    answer_exchange(sim, st, index, kind, ok, at_ns);
    return true;
}

// One byte at its modelled arrival time. Returns false when the line was hung up.
bool handle_byte(avrsim *sim, serve_state *st, unsigned char b, std::int64_t at_ns)
{
    sim->rx_log.push_back(b);
    st->last_arrival_ns = at_ns;
    if (st->in_data) {
        st->data[st->data_len++] = b;
        sim->exchanges[st->data_exchange].received.push_back(b);
        if (st->data_len == AVRSIM_BLOCK_SIZE)
            finish_block(sim, st, false, at_ns);
        return true;
    }
    if (st->cmd_len == 0 && b != '#') {
        add_violation(sim, sim->rx_log.size() - 1, "stray byte 0x%02X outside a command", b);
        return true;
    }
    st->cmd[st->cmd_len++] = b;
    if (st->cmd_len < AVRSIM_COMMAND_SIZE)
        return true;
    st->cmd_len = 0;
    return handle_command(sim, st, at_ns);
}

// Time-outs of the receiving side, judged against modelled arrival times.
void check_timeouts(avrsim *sim, serve_state *st, std::int64_t now)
{
    std::int64_t limit = (std::int64_t)sim->cfg.data_timeout_ms * NS_PER_MS;
    if (st->input_pos < st->input.size())
        return; // more bytes are on their way
    if (st->in_data && now >= st->last_arrival_ns + limit) {
        finish_block(sim, st, true, now);
    } else if (st->cmd_len > 0 && now >= st->last_arrival_ns + limit) {
        add_violation(sim, sim->rx_log.size(), "incomplete command: %d bytes, then silence",
                      (int)st->cmd_len);
        st->cmd_len = 0;
    }
}

std::int64_t next_deadline(const avrsim *sim, const serve_state *st)
{
    std::int64_t d = NO_DEADLINE;
    if (st->input_pos < st->input.size())
        d = std::min(d, st->input[st->input_pos].arrival_ns);
    if (!st->output.empty())
        d = std::min(d, st->output.front().due_ns);
    std::int64_t limit = (std::int64_t)sim->cfg.data_timeout_ms * NS_PER_MS;
    if ((st->in_data || st->cmd_len > 0) && st->input_pos >= st->input.size())
        d = std::min(d, st->last_arrival_ns + limit);
    if (sim->cfg.quiet_timeout_ms != 0 && st->output.empty() && !st->finish_pending)
        d = std::min(d, st->last_activity_ns + (std::int64_t)sim->cfg.quiet_timeout_ms * NS_PER_MS);
    return d;
}

// Writes every due answer byte. Returns -1 when the line failed.
int flush_output(avrsim *sim, serve_state *st, std::int64_t now, bool *blocked)
{
    *blocked = false;
    std::size_t due = 0;
    while (due < st->output.size() && st->output[due].due_ns <= now)
        ++due;
    if (due == 0)
        return 0;
    unsigned char buf[READ_CHUNK];
    std::size_t n = std::min(due, sizeof buf);
    for (std::size_t i = 0; i < n; ++i)
        buf[i] = st->output[i].byte;
    ssize_t w = write(sim->master_fd, buf, n);
    if (w < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            *blocked = errno == EAGAIN;
            return 0;
        }
        return -1;
    }
    st->output.erase(st->output.begin(), st->output.begin() + w);
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
    for (ssize_t i = 0; i < n; ++i) {
        std::int64_t t = std::max(st->rx_clock_ns, now) + st->byte_time_ns;
        st->rx_clock_ns = t;
        st->input.push_back({t, buf[i]});
    }
    if (n > 0)
        st->last_activity_ns = now;
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
    sim->rx_log.clear();
    sim->exchanges.clear();
    sim->writes.clear();
    sim->violations.clear();
    sim->prepare_count = sim->version_count = sim->end_count = 0;
    sim->flash_block_count = sim->eeprom_block_count = 0;
    sim->pgmend_seen = false;
    sim->verdict = AVRSIM_VERDICT_NONE;
    sim->end = AVRSIM_END_STOPPED;
    sim->slave_path[0] = 0;

    sim->master_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim->master_fd < 0)
        return -1;
    const char *name = nullptr;
    if (grantpt(sim->master_fd) != 0 || unlockpt(sim->master_fd) != 0 ||
        (name = ptsname(sim->master_fd)) == nullptr || strlen(name) >= sizeof sim->slave_path) {
        avrsim_close(sim);
        return -1;
    }
    snprintf(sim->slave_path, sizeof sim->slave_path, "%s", name);
    sim->slave_fd = open(sim->slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim->slave_fd < 0 || pipe2(sim->stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        avrsim_close(sim);
        return -1;
    }
    int flags = fcntl(sim->master_fd, F_GETFL);
    if (flags < 0 || fcntl(sim->master_fd, F_SETFL, flags | O_NONBLOCK) != 0) {
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

avrsim_end avrsim_serve(avrsim *sim)
{
    if (sim->master_fd < 0)
        return sim->end = AVRSIM_END_ERROR;
    serve_state st;
    if (sim->cfg.baud != 0)
        st.byte_time_ns = (std::int64_t)BITS_PER_BYTE * NS_PER_S / sim->cfg.baud;
    st.last_activity_ns = now_ns();
    bool blocked = false;

    for (;;) {
        std::int64_t now = now_ns();
        while (st.input_pos < st.input.size() && st.input[st.input_pos].arrival_ns <= now) {
            const arriving_byte &a = st.input[st.input_pos++];
            if (!handle_byte(sim, &st, a.byte, a.arrival_ns))
                return sim->end = AVRSIM_END_HUNG_UP;
        }
        if (st.input_pos == st.input.size()) {
            st.input.clear();
            st.input_pos = 0;
        }
        check_timeouts(sim, &st, now);
        if (flush_output(sim, &st, now, &blocked) != 0)
            return sim->end = AVRSIM_END_ERROR;
        if (st.finish_pending && st.output.empty() && !st.in_data && st.cmd_len == 0 &&
            st.input.empty())
            return sim->end = AVRSIM_END_FINISHED;

        std::int64_t deadline = next_deadline(sim, &st);
        if (sim->cfg.quiet_timeout_ms != 0 && st.output.empty() && !st.finish_pending &&
            st.input.empty() && !st.in_data && st.cmd_len == 0 && now >= deadline)
            return sim->end = AVRSIM_END_QUIET;

        struct pollfd fds[2];
        fds[0] = {sim->master_fd, (short)(POLLIN | (blocked ? POLLOUT : 0)), 0};
        fds[1] = {sim->stop_pipe[0], POLLIN, 0};
        struct timespec timeout;
        struct timespec *tp = nullptr;
        if (deadline != NO_DEADLINE) {
            std::int64_t wait = std::max<std::int64_t>(0, deadline - now);
            timeout.tv_sec = (time_t)(wait / NS_PER_S);
            timeout.tv_nsec = (long)(wait % NS_PER_S);
            tp = &timeout;
        }
        int r = ppoll(fds, 2, tp, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return sim->end = AVRSIM_END_ERROR;
        }
        if (fds[1].revents & POLLIN) {
            char b;
            ssize_t ignored = read(sim->stop_pipe[0], &b, 1);
            (void)ignored;
            return sim->end = AVRSIM_END_STOPPED;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (read_input(sim, &st, now_ns()) != 0)
                return sim->end = AVRSIM_END_ERROR;
        }
    }
}

int avrsim_drain(avrsim *sim, unsigned limit_ms)
{
    if (sim->slave_fd < 0)
        return -1;
    sleep_ns(DRAIN_SETTLE_MS * NS_PER_MS);
    std::int64_t end = now_ns() + (std::int64_t)limit_ms * NS_PER_MS;
    for (;;) {
        int queued = 0;
        if (ioctl(sim->slave_fd, TIOCINQ, &queued) != 0)
            return -1;
        if (queued == 0)
            return 0;
        if (now_ns() >= end)
            return -1;
        sleep_ns(DRAIN_STEP_US * NS_PER_US);
    }
}

int avrsim_stamp_matches(const avrsim *sim, std::size_t received_end)
{
    const unsigned char *s = sim->eeprom + AVRSIM_STAMP_OFFSET;
    std::uint32_t stored = ((std::uint32_t)s[0] << 24) | ((std::uint32_t)s[1] << 16) |
                           ((std::uint32_t)s[2] << 8) | s[3];
    if (s[4] != 0 || s[5] != 0 || (s[6] & 0x03) != 0)
        return 0;
    // Only the low 16 bits of the length are stamped; the flash that arrived tells the rest.
    std::size_t len = (std::size_t)s[6] | ((std::size_t)s[7] << 8);
    if (received_end != 0) {
        while (len + 0x10000 <= received_end)
            len += 0x10000;
        if (len > received_end)
            return 0;
    }
    if (len > AVRSIM_FLASH_SIZE)
        return 0;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= len; i += 4)
        sum += (std::uint32_t)sim->flash[i] | ((std::uint32_t)sim->flash[i + 1] << 8) |
               ((std::uint32_t)sim->flash[i + 2] << 16) | ((std::uint32_t)sim->flash[i + 3] << 24);
    return sum == stored ? 1 : 0;
}
