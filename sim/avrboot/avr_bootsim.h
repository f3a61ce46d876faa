// A simulated AVR boot loader on the master side of a pseudo-terminal: a test double for the
// baseboard's microcontroller. The updater opens the slave device like a serial port; the
// simulator answers its 8-byte commands, stores the 256-byte blocks, checks the flash stamp at the
// end and records everything it received. A script of fault rules makes chosen exchanges go wrong.
//
// Typical use in a test:
//
//     auto sim = std::make_unique<avrsim>();
//     avrsim_config cfg = avrsim_default_config();
//     cfg.rules.push_back(rule);                       // optional faults
//     ASSERT_EQ(avrsim_open(sim.get(), cfg), 0);
//     std::thread server([&] { avrsim_serve(sim.get()); });
//     run_program(bin_path("avr-fwupdate"), {sim->slave_path, "115200", ...});
//     avrsim_stop(sim.get());                          // harmless when serving already ended
//     server.join();
//     // inspect sim->flash, sim->eeprom, sim->rx_log, sim->exchanges, sim->violations, ...
//
// Each avrsim_serve call serves one session (one update). The memories are kept from one session
// to the next; the records (rx_log, exchanges, writes, violations, counts, verdict) describe the
// last session only, and the fault rules count arrivals and exchanges anew in each.
//
// Only avrsim_stop may be called while another thread serves; read the state after the join.
#pragma once

#include "avrsim_config.h"
#include "avrsim_link.h"
#include "avrsim_memory.h"
#include "avrsim_protocol.h"
#include "avrsim_rules.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

enum avrsim_block_memory { AVRSIM_FLASH = 0, AVRSIM_EEPROM = 1 };

// A block that was stored, in the order of storing.
struct avrsim_block_write {
    avrsim_block_memory memory;
    int block;
};

// One command as it arrived, with everything that belongs to it.
struct avrsim_exchange {
    int number = 0;                      // 1-based, over the session's commands
    std::string command;                 // the 8 command bytes as received
    int attempt = 0;                     // arrival count of this exact command, 1-based
    std::vector<unsigned char> received; // command and data bytes, in order
    avrsim_fault_kind fault = AVRSIM_FAULT_NONE;
    std::vector<unsigned char> answer; // bytes scheduled for sending, extra bytes included
};

// A protocol violation by the other side, found by the simulator.
struct avrsim_violation {
    std::size_t offset; // position in rx_log where it was found
    std::string what;
};

enum avrsim_end {
    AVRSIM_END_FINISHED = 0, // "#PGMEND\r" handled and its answer sent
    AVRSIM_END_HUNG_UP,      // a hang-up rule closed the line (a new one took its place)
    AVRSIM_END_QUIET,        // nothing arrived for quiet_timeout_ms
    AVRSIM_END_STOPPED,      // avrsim_stop was called
    AVRSIM_END_ERROR,        // the pseudo-terminal failed
    AVRSIM_END_CLOSED,       // the updater closed the line after it had sent something
};

enum avrsim_verdict { AVRSIM_VERDICT_NONE = 0, AVRSIM_VERDICT_OK, AVRSIM_VERDICT_ERR };

// The simulator: configuration, memories and records. Allocate it on the heap (it holds both
// memories); avrsim_close (or the destructor of a later avrsim_open) releases the descriptors.
struct avrsim {
    avrsim_config cfg;
    int master_fd = -1;
    int slave_fd = -1; // kept open so the master sees no hang-up before the updater opens
    int stop_pipe[2] = {-1, -1};
    int watch_fd = -1;       // opens and closes of the slave device; -1: not watched
    int peer_opens = 0;      // descriptions of the slave others hold open, as far as watched
    bool peers_left = false; // the last of them was closed since the serving loop looked
    char slave_path[64] = {0};
    std::string link_path; // see avrsim_link; empty: none
    int session = 0;       // the session served last or now, 1-based; 0: none yet

    unsigned char flash[AVRSIM_FLASH_SIZE] = {};
    unsigned char eeprom[AVRSIM_EEPROM_SIZE] = {};

    std::vector<unsigned char> rx_log;      // every byte received in the session, in order
    std::vector<avrsim_exchange> exchanges; // every command of the session, in order
    std::vector<avrsim_block_write> writes; // stored blocks, in order
    std::vector<avrsim_violation> violations;
    std::array<int, AVRSIM_COMMAND_KINDS> counts{}; // arrivals per command kind
    bool pgmend_seen = false;
    avrsim_verdict verdict = AVRSIM_VERDICT_NONE; // the stamp check of the last "#PGMEND\r"
    avrsim_end end = AVRSIM_END_STOPPED;          // why the last avrsim_serve returned

    avrsim() = default;
    avrsim(const avrsim &) = delete;
    avrsim &operator=(const avrsim &) = delete;
    ~avrsim();
};

// Creates the pseudo-terminal, fills the memories and resets the records. Returns 0, or -1 when
// the pseudo-terminal cannot be made. sim->slave_path is the device the updater opens.
int avrsim_open(avrsim *sim, const avrsim_config &cfg);

// Serves one session: resets the records and waits, however long the line stays unused (up to
// cfg.quiet_timeout_ms), for the updater. The session begins with the first byte that arrives
// and ends when "#PGMEND\r" has been answered, a hang-up rule fires (a new pseudo-terminal is
// then made first, sim->slave_path names it and the link moves to it), or the updater closes the
// device after it has sent something (its unread answers are then discarded). Serving also ends
// when the line stays quiet for cfg.quiet_timeout_ms or avrsim_stop is called. Returns why (also
// kept in sim->end). Call it again to serve the next session on the same line. Closing is seen
// through inotify on the slave device; where that is not available, a session ends only in the
// other ways.
avrsim_end avrsim_serve(avrsim *sim);

// Asks a serving thread to return soon; callable from any thread, also before serving starts.
// A request that no serve call has taken yet ends the next one at once; avrsim_open clears it.
void avrsim_stop(avrsim *sim);

// Waits until the other side has read every byte sent to it, for at most limit_ms. Closing the
// master discards what the slave has not read yet, so a program that exits after serving calls
// this first. Returns 0 when everything was read, -1 on time-out or a closed line.
int avrsim_drain(avrsim *sim, unsigned limit_ms);

// Closes every descriptor (the updater then sees the line hang up).
void avrsim_close(avrsim *sim);

const char *avrsim_end_name(avrsim_end end);
