// How one simulated boot loader behaves: the firmware it reports, its first memory contents,
// the line's pacing and time-outs, and its fault rules.
#pragma once

#include "avrsim_protocol.h"
#include "avrsim_rules.h"
#include "erased_byte.h"

#include <vector>

constexpr unsigned AVRSIM_DEFAULT_DATA_TIMEOUT_MS = 1000;   // gap allowed inside block data
constexpr unsigned AVRSIM_DEFAULT_QUIET_TIMEOUT_MS = 60000; // serving ends after this silence
constexpr unsigned AVRSIM_DEFAULT_DRAIN_LIMIT_MS = 2000;    // see avrsim_drain

struct avrsim_config {
    unsigned char fw_ident[AVRSIM_IDENT_SIZE] = {}; // installed firmware identification reported
    unsigned char flash_fill = ERASED_BYTE;         // initial flash contents
    unsigned char eeprom_fill = ERASED_BYTE;        // initial EEPROM contents
    unsigned char answer_last_byte = '\n'; // 8th byte of every 8-byte answer and byte 7 of the
                                           // version answer (0x0D would arrive as 0x0A)
    unsigned baud = 0;                     // line rate to pace at (10 bit times a byte, both ways);
                                           // 0: no pacing
    unsigned page_time_us = 0;             // programming time per block before its answer
    unsigned data_timeout_ms =
        AVRSIM_DEFAULT_DATA_TIMEOUT_MS; // longest gap before a block's
                                        // data are complete (then ">BLKDTO"/">EBKDTO"); also ends
                                        // an incomplete command
    unsigned quiet_timeout_ms = AVRSIM_DEFAULT_QUIET_TIMEOUT_MS; // 0: never
    std::vector<avrsim_rule> rules;
};

// A default configuration: fw_ident erased (nothing installed), no pacing, no rules.
avrsim_config avrsim_default_config();

// Builds a fw_ident: letter, three version digits, build date (year within the century) and a
// hardware id of up to 8 characters (padded with zero bytes).
void avrsim_make_ident(unsigned char ident[AVRSIM_IDENT_SIZE], char letter, int d1, int d2, int d3,
                       int year, int month, int day, const char *hardware_id);
