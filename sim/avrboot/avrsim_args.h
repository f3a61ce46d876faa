// The command line of avr-bootsim: its usage text, its exit statuses and its options.
#pragma once

#include "avrsim_config.h"

enum avrsim_exit_code {
    AVRSIM_EXIT_FINISHED = 0,   // "#PGMEND\r" was answered
    AVRSIM_EXIT_UNFINISHED = 1, // serving ended without it (quiet, hang-up rule, signal)
    AVRSIM_EXIT_USAGE = 2,
    AVRSIM_EXIT_SYSTEM = 3, // no pseudo-terminal, or an output file could not be written
};

// Files the program writes at the end; nullptr: not asked for.
struct avrsim_outputs {
    const char *save_flash = nullptr;
    const char *save_eeprom = nullptr;
    const char *log = nullptr;
    const char *rx_dump = nullptr;
};

extern const char AVRSIM_USAGE[];

// Reads the options into *cfg and *out; sets *help for -h or --help and stops there. Returns 0,
// or AVRSIM_EXIT_USAGE after saying why on standard error.
int avrsim_parse_args(int argc, char **argv, avrsim_config *cfg, avrsim_outputs *out, bool *help);
