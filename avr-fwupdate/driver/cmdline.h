// The updater's command line: pack modes, update forms, the baud rate and the verbosity option.
#pragma once

#include "verbosity.h"

#include <termios.h>

enum run_mode {
    MODE_PACK_V1,
    MODE_PACK_V2,
    MODE_PACK_V3,
    MODE_UPDATE_PACK, // one PACK file
    MODE_UPDATE_HEX,  // flash data HEX file and EEPROM HEX file
};

enum cmdline_result {
    CMDLINE_OK,
    CMDLINE_USAGE,    // wrong number of arguments, or no file named
    CMDLINE_BAD_BAUD, // a baud rate not in the table
};

struct command_line {
    run_mode mode;
    const char *devnode;       // update forms
    long baud;                 // the baud argument as strtol converted it
    speed_t speed;             // its B* constant when in the table
    verbosity_level verbosity; // quiet, verbose (-v) or tracing (-vv)
    const char *pack_file;     // MODE_UPDATE_PACK; for the pack modes the file to write
    const char *data_file;     // flash data HEX file (update and pack modes)
    const char *eep_file;      // EEPROM HEX file (update and pack modes)
};

// Decodes argv in the order the updater checks it: pack modes (exactly four arguments), argument
// count, baud table, verbosity and files. `args` is fully set only on CMDLINE_OK; on
// CMDLINE_BAD_BAUD args->baud holds the converted number.
cmdline_result decode_command_line(int argc, char *const argv[], command_line *args);
