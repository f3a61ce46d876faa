// The boot loader's state machine: takes received bytes one at a time, recognises commands and
// block data, checks them, applies the fault rules, stores blocks and queues the answers.
#pragma once

#include "avr_bootsim.h"
#include "avrsim_session.h"

#include <cstdint>

namespace bootsim
{

// One byte at its modelled arrival time. Returns false when a hang-up rule closed the line.
bool take_byte(avrsim *sim, serve_state *st, unsigned char b, std::int64_t at_ns);

// Time-outs of the receiving side at `now`: block data that stop coming are answered with a data
// time-out, an incomplete command is dropped. Both are recorded as violations.
void check_receive_timeouts(avrsim *sim, serve_state *st, std::int64_t now);

// The updater closed the line: a half-received command or block is dropped and recorded as a
// violation.
void drop_on_close(avrsim *sim, serve_state *st);

// Empties the records a session fills (see avrsim).
void reset_records(avrsim *sim);

} // namespace bootsim
