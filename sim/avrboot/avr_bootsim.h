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
// Only avrsim_stop may be called while another thread serves; read the state after the join.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t AVRSIM_FLASH_SIZE = 0x20000; // bytes
constexpr std::size_t AVRSIM_EEPROM_SIZE = 4096;   // bytes
constexpr std::size_t AVRSIM_BLOCK_SIZE = 256;     // bytes of data after a block command
constexpr int AVRSIM_FLASH_BLOCKS = 512;           // "#BLK000\r" .. "#BLK1FF\r"
constexpr int AVRSIM_EEPROM_BLOCKS = 16;           // "#EBK000\r" .. "#EBK00F\r"
constexpr std::size_t AVRSIM_COMMAND_SIZE = 8;     // '#', six characters, '\r'
constexpr std::size_t AVRSIM_ANSWER_SIZE = 8;      // every answer but the version answer
constexpr std::size_t AVRSIM_VERSION_ANSWER_SIZE = 24;
constexpr std::size_t AVRSIM_IDENT_SIZE = 16;   // fw_ident in the version answer
constexpr std::size_t AVRSIM_STAMP_OFFSET = 16; // flash stamp: EEPROM bytes 16-23

constexpr unsigned AVRSIM_DEFAULT_DATA_TIMEOUT_MS = 1000;   // gap allowed inside block data
constexpr unsigned AVRSIM_DEFAULT_QUIET_TIMEOUT_MS = 60000; // serving ends after this silence
constexpr unsigned AVRSIM_DEFAULT_DRAIN_LIMIT_MS = 2000;    // see avrsim_drain

// What a rule does to the exchange it matches. The normal answer of each command:
// "#FWUPLD\r" -> ">FWUPLD"+1, "#PGMVER\r" -> ">PGMVER"+1+fw_ident (24 bytes), block commands ->
// ">BLK_OK"/">EBK_OK"+1 after their 256 data bytes, "#PGMEND\r" -> ">PGM_OK"+1 or ">PGMERR"+1.
enum avrsim_fault_kind {
    AVRSIM_FAULT_NONE = 0,
    AVRSIM_FAULT_SILENT,  // no answer at all
    AVRSIM_FAULT_SHORT,   // only the first `count` bytes of the answer (1 .. answer length - 1)
    AVRSIM_FAULT_GARBAGE, // an answer of the right length made of `text` (default "?GARBLE?"),
                          // padded with '?' or cut to the answer length
    AVRSIM_FAULT_ERR,     // ">BLKERR"/">EBKERR" (block not stored), ">PGMERR" for the end
                          // command, ">ERROR!!" for the others
    AVRSIM_FAULT_DTO,     // ">BLKDTO"/">EBKDTO" after reading the data (block not stored);
                          // ">ERROR!!" for commands without data
    AVRSIM_FAULT_LATE,    // the normal answer, sent `delay_ms` later than it would be
    AVRSIM_FAULT_EXTRA,   // the normal answer followed by `count` extra bytes (from `text`,
                          // repeated; default "+")
    AVRSIM_FAULT_HANGUP,  // close master and slave as soon as the command has arrived
};

// One fault rule. A rule matches an arriving command when all its conditions hold; the first
// matching rule of the list decides the exchange. Block data are read before any answer, so the
// line stays in step whatever the answer is.
struct avrsim_rule {
    std::string command;   // prefix of the command text, e.g. "#BLK005", "#EBK", "#PGMEND";
                           // empty: any command
    int attempt_first = 0; // the n-th arrival of this exact command (1-based); 0: any arrival
    int attempt_last = -1; // last arrival covered; -1: same as attempt_first; 0: no end
    int exchange = 0;      // the n-th command overall (1-based); 0: any
    avrsim_fault_kind kind = AVRSIM_FAULT_NONE;
    int count = 0;         // SHORT: bytes sent; EXTRA: extra bytes sent
    unsigned delay_ms = 0; // LATE: added delay
    std::string text;      // GARBAGE / EXTRA bytes
};

struct avrsim_config {
    unsigned char fw_ident[AVRSIM_IDENT_SIZE]; // installed firmware identification reported
    unsigned char flash_fill = 0xFF;           // initial flash contents
    unsigned char eeprom_fill = 0xFF;          // initial EEPROM contents
    unsigned char answer_last_byte = '\n';     // 8th byte of every 8-byte answer and byte 7 of the
                                               // version answer (0x0D would arrive as 0x0A)
    unsigned baud = 0;         // line rate to pace at (10 bit times a byte, both ways);
                               // 0: no pacing
    unsigned page_time_us = 0; // programming time per block before its answer
    unsigned data_timeout_ms =
        AVRSIM_DEFAULT_DATA_TIMEOUT_MS; // longest gap before a block's
                                        // data are complete (then ">BLKDTO"/">EBKDTO"); also ends
                                        // an incomplete command
    unsigned quiet_timeout_ms = AVRSIM_DEFAULT_QUIET_TIMEOUT_MS; // 0: never
    std::vector<avrsim_rule> rules;
};

// A default configuration: fw_ident all 0xFF (nothing installed), no pacing, no rules.
avrsim_config avrsim_default_config();

// Builds a fw_ident: letter, three version digits, build date (year within the century) and a
// hardware id of up to 8 characters (padded with zero bytes).
void avrsim_make_ident(unsigned char ident[AVRSIM_IDENT_SIZE], char letter, int d1, int d2, int d3,
                       int year, int month, int day, const char *hardware_id);

// Parses a rule from its command-line form  MATCH:KIND[=ARG]  where MATCH is any combination of
//   CMD      command prefix, '#' optional (BLK005, #EBK, PGMEND)
//   @N       N-th arrival of the command; @N-M arrivals N to M; @N- from N on
//   xE       E-th exchange overall
// and KIND is silent, short=N, garbage[=TEXT], err, dto, late=MS, extra=N[,TEXT] or hangup.
// Examples: "BLK005@1-2:err", "#EBK@1:dto", "x3:hangup", "PGMVER:short=10".
// Returns 0, or -1 for a malformed rule (with a reason in *error when error is given).
int avrsim_parse_rule(const char *text, avrsim_rule *rule, std::string *error = nullptr);

enum avrsim_block_memory { AVRSIM_FLASH = 0, AVRSIM_EEPROM = 1 };

// A block that was stored, in the order of storing.
struct avrsim_block_write {
    avrsim_block_memory memory;
    int block;
};

// One command as it arrived, with everything that belongs to it.
struct avrsim_exchange {
    int number = 0;                      // 1-based, over all commands
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
    AVRSIM_END_HUNG_UP,      // a hang-up rule closed the line
    AVRSIM_END_QUIET,        // nothing arrived for quiet_timeout_ms
    AVRSIM_END_STOPPED,      // avrsim_stop was called
    AVRSIM_END_ERROR,        // the pseudo-terminal failed
};

enum avrsim_verdict { AVRSIM_VERDICT_NONE = 0, AVRSIM_VERDICT_OK, AVRSIM_VERDICT_ERR };

// The simulator: configuration, memories and records. Allocate it on the heap (it holds both
// memories); avrsim_close (or the destructor of a later avrsim_open) releases the descriptors.
struct avrsim {
    avrsim_config cfg;
    int master_fd = -1;
    int slave_fd = -1; // kept open so the master sees no hang-up before the updater opens
    int stop_pipe[2] = {-1, -1};
    char slave_path[64] = {0};

    unsigned char flash[AVRSIM_FLASH_SIZE];
    unsigned char eeprom[AVRSIM_EEPROM_SIZE];

    std::vector<unsigned char> rx_log;      // every byte received, in order
    std::vector<avrsim_exchange> exchanges; // every command, in order
    std::vector<avrsim_block_write> writes; // stored blocks, in order
    std::vector<avrsim_violation> violations;
    int prepare_count = 0;      // "#FWUPLD\r" arrivals
    int version_count = 0;      // "#PGMVER\r" arrivals
    int flash_block_count = 0;  // "#BLKnnn\r" arrivals
    int eeprom_block_count = 0; // "#EBKnnn\r" arrivals
    int end_count = 0;          // "#PGMEND\r" arrivals
    bool pgmend_seen = false;
    avrsim_verdict verdict = AVRSIM_VERDICT_NONE; // the stamp check of the last "#PGMEND\r"
    avrsim_end end = AVRSIM_END_STOPPED;          // why the last avrsim_serve returned

    ~avrsim();
};

// Creates the pseudo-terminal, fills the memories and resets the records. Returns 0, or -1 when
// the pseudo-terminal cannot be made. sim->slave_path is the device the updater opens.
int avrsim_open(avrsim *sim, const avrsim_config &cfg);

// Serves the boot-loader side until "#PGMEND\r" has been answered, a hang-up rule fires, the
// line stays quiet for cfg.quiet_timeout_ms, or avrsim_stop is called. Returns why (also kept in
// sim->end). May be called again to serve a further update on the same line.
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

// The stamp check "#PGMEND\r" performs on the current memories: 1 when the flash word sum and
// length match EEPROM bytes 16-23, else 0. `received_end` is the end of the highest flash block
// stored in this session (0: none; the stamped length is then taken as it is).
int avrsim_stamp_matches(const avrsim *sim, std::size_t received_end);

// Writes the bytes to a file (created or truncated). Returns 0 or -1.
int avrsim_save(const char *path, const unsigned char *data, std::size_t len);

const char *avrsim_fault_name(avrsim_fault_kind kind);
const char *avrsim_end_name(avrsim_end end);
