#include "avrsim_commands.h"

#include "avrsim_answers.h"
#include "avrsim_pty.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace bootsim
{

namespace
{

// What validation makes of a complete command.
struct command_check {
    avrsim_command_kind kind; // AVRSIM_CMD_INVALID: no answer at all
    int block;                // block commands: the number, or -1 when malformed
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

avrsim_command_kind classify(const unsigned char *cmd)
{
    if (memcmp(cmd, "#FWUPLD", 7) == 0)
        return AVRSIM_CMD_PREPARE;
    if (memcmp(cmd, "#PGMVER", 7) == 0)
        return AVRSIM_CMD_VERSION;
    if (memcmp(cmd, "#PGMEND", 7) == 0)
        return AVRSIM_CMD_END;
    if (memcmp(cmd, "#BLK", 4) == 0)
        return AVRSIM_CMD_FLASH_BLOCK;
    if (memcmp(cmd, "#EBK", 4) == 0)
        return AVRSIM_CMD_EEPROM_BLOCK;
    return AVRSIM_CMD_INVALID;
}

bool is_block(avrsim_command_kind kind)
{
    return kind == AVRSIM_CMD_FLASH_BLOCK || kind == AVRSIM_CMD_EEPROM_BLOCK;
}

const avrsim_rule *rule_for(const avrsim *sim, const avrsim_exchange &ex)
{
    return avrsim_find_rule(sim->cfg.rules, ex.command, ex.attempt, ex.number, sim->session);
}

void answer_exchange(avrsim *sim, serve_state *st, std::size_t index, avrsim_command_kind kind,
                     bool ok, std::int64_t ready_ns)
{
    avrsim_exchange &ex = sim->exchanges[index];
    const avrsim_rule *rule = rule_for(sim, ex);
    ex.fault = rule ? rule->kind : AVRSIM_FAULT_NONE;
    std::vector<unsigned char> bytes = faulted_answer(sim->cfg, kind, ok, rule);
    bool late = rule && rule->kind == AVRSIM_FAULT_LATE;
    if (late)
        ready_ns += (std::int64_t)rule->delay_ms * NS_PER_MS;
    ex.answer = bytes;
    pace_answer(&st->line, ready_ns, bytes, late);
}

// The block's data are complete (or timed out when `timed_out`): store and answer.
void finish_block(avrsim *sim, serve_state *st, bool timed_out, std::int64_t at_ns)
{
    st->in_data = false;
    avrsim_exchange &ex = sim->exchanges[st->data_exchange];
    bool flash = st->data_kind == AVRSIM_CMD_FLASH_BLOCK;
    if (timed_out) {
        add_violation(sim, sim->rx_log.size(), "block data incomplete: %d of %d bytes arrived",
                      (int)st->data_len, (int)AVRSIM_BLOCK_SIZE);
        ex.answer = text_answer(flash ? ">BLKDTO" : ">EBKDTO", AVRSIM_ANSWER_SIZE,
                                sim->cfg.answer_last_byte);
        pace_answer(&st->line, at_ns, ex.answer, false);
        return;
    }
    std::int64_t ready = at_ns + (std::int64_t)sim->cfg.page_time_us * NS_PER_US;
    if (st->data_block < 0) {
        ex.answer = normal_answer(sim->cfg, st->data_kind, false);
        pace_answer(&st->line, ready, ex.answer, false);
        return;
    }
    const avrsim_rule *rule = rule_for(sim, ex);
    bool refused = rule && (rule->kind == AVRSIM_FAULT_ERR || rule->kind == AVRSIM_FAULT_DTO);
    if (!refused)
        avrsim_store_block(sim, flash, st->data_block, st->data);
    answer_exchange(sim, st, st->data_exchange, st->data_kind, true, ready);
}

// Records the command that just arrived as a new exchange; returns its index.
std::size_t record_exchange(avrsim *sim, serve_state *st)
{
    avrsim_exchange ex;
    ex.number = (int)sim->exchanges.size() + 1;
    ex.command.assign(st->cmd, st->cmd + AVRSIM_COMMAND_SIZE);
    ex.received.assign(st->cmd, st->cmd + AVRSIM_COMMAND_SIZE);
    ex.attempt = ++st->arrivals[ex.command];
    sim->exchanges.push_back(ex);
    return sim->exchanges.size() - 1;
}

// Classifies the command and checks its form and block number; records what is wrong.
command_check validate(avrsim *sim, const unsigned char *cmd, int number)
{
    std::size_t offset = sim->rx_log.size() - AVRSIM_COMMAND_SIZE;
    command_check c{classify(cmd), -1};
    if (cmd[AVRSIM_COMMAND_SIZE - 1] != '\r') {
        add_violation(sim, offset, "command %d does not end with a carriage return", number);
        c.kind = AVRSIM_CMD_INVALID;
    } else if (c.kind == AVRSIM_CMD_INVALID) {
        add_violation(sim, offset, "command %d is unknown", number);
    } else if (is_block(c.kind)) {
        c.block = parse_hex3(cmd + 4);
        int limit = c.kind == AVRSIM_CMD_FLASH_BLOCK ? AVRSIM_FLASH_BLOCKS : AVRSIM_EEPROM_BLOCKS;
        if (c.block < 0 || c.block >= limit) {
            add_violation(sim, offset, "command %d: block number out of range or malformed",
                          number);
            c.block = -1;
        }
    }
    return c;
}

// Closes the line when a hang-up rule picks the exchange; returns true then. A malformed block
// command is refused whatever the script says.
bool hang_up_if_asked(avrsim *sim, std::size_t index, const command_check &c)
{
    if (is_block(c.kind) && c.block < 0)
        return false;
    const avrsim_rule *rule = rule_for(sim, sim->exchanges[index]);
    if (!rule || rule->kind != AVRSIM_FAULT_HANGUP)
        return false;
    sim->exchanges[index].fault = AVRSIM_FAULT_HANGUP;
    replace_line(sim);
    return true;
}

// Starts reading a block's data, or answers a command that has none.
void dispatch(avrsim *sim, serve_state *st, std::size_t index, const command_check &c,
              std::int64_t at_ns)
{
    if (is_block(c.kind)) {
        st->in_data = true;
        st->data_kind = c.kind;
        st->data_block = c.block;
        st->data_exchange = index;
        st->data_len = 0;
        return;
    }
    bool ok = true;
    if (c.kind == AVRSIM_CMD_END) {
        ok = avrsim_stamp_matches(sim, avrsim_flash_received_end(sim)) == 1;
        sim->verdict = ok ? AVRSIM_VERDICT_OK : AVRSIM_VERDICT_ERR;
        sim->pgmend_seen = true;
        st->finish_pending = true;
    }
    answer_exchange(sim, st, index, c.kind, ok, at_ns);
}

// A complete 8-byte command. Returns false when a hang-up rule closed the line.
bool handle_command(avrsim *sim, serve_state *st, std::int64_t at_ns)
{
    std::size_t index = record_exchange(sim, st);
    command_check c = validate(sim, st->cmd, sim->exchanges[index].number);
    if (c.kind == AVRSIM_CMD_INVALID)
        return true;
    if (hang_up_if_asked(sim, index, c))
        return false;
    ++sim->counts[c.kind];
    dispatch(sim, st, index, c, at_ns);
    return true;
}

} // namespace

bool take_byte(avrsim *sim, serve_state *st, unsigned char b, std::int64_t at_ns)
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

void check_receive_timeouts(avrsim *sim, serve_state *st, std::int64_t now)
{
    std::int64_t limit = (std::int64_t)sim->cfg.data_timeout_ms * NS_PER_MS;
    if (input_waiting(&st->line))
        return; // more bytes are on their way
    if (st->in_data && now >= st->last_arrival_ns + limit) {
        finish_block(sim, st, true, now);
    } else if (st->cmd_len > 0 && now >= st->last_arrival_ns + limit) {
        add_violation(sim, sim->rx_log.size(), "incomplete command: %d bytes, then silence",
                      (int)st->cmd_len);
        st->cmd_len = 0;
    }
}

void drop_on_close(avrsim *sim, serve_state *st)
{
    if (st->in_data)
        add_violation(sim, sim->rx_log.size(), "line closed inside block data: %d of %d bytes",
                      (int)st->data_len, (int)AVRSIM_BLOCK_SIZE);
    else if (st->cmd_len > 0)
        add_violation(sim, sim->rx_log.size(), "line closed inside a command: %d bytes",
                      (int)st->cmd_len);
    st->in_data = false;
    st->cmd_len = 0;
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
}

} // namespace bootsim
