// The command line of avr-bootsim: its usage text, its exit statuses and its options.
#pragma once

#include "avrsim_config.h"

enum avrsim_exit_code {
    AVRSIM_EXIT_FINISHED = 0,   // the last session's "#PGMEND\r" was answered
    AVRSIM_EXIT_UNFINISHED = 1, // serving ended otherwise (quiet, hang-up, closed, signal)
    AVRSIM_EXIT_USAGE = 2,
    AVRSIM_EXIT_SYSTEM = 3, // no pseudo-terminal, a memory file or the link failed, or an
                            // output file could not be written
};

// Files the program reads, links or writes; nullptr: not asked for.
struct avrsim_files {
    const char *load_flash = nullptr;  // read before serving
    const char *load_eeprom = nullptr; // read before serving
    const char *link = nullptr;        // made before serving, removed at the end
    const char *save_flash = nullptr;  // written at the end
    const char *save_eeprom = nullptr; // written at the end
    const char *log = nullptr;         // written at the end
    const char *rx_dump = nullptr;     // written at the end
};

struct avrsim_options {
    avrsim_config cfg = avrsim_default_config();
    avrsim_files files;
    int sessions = 1; // updates to serve
    bool help = false;
};

extern const char AVRSIM_USAGE[];

// Reads the options into *opts; sets opts->help for -h or --help and stops there. Returns 0, or
// AVRSIM_EXIT_USAGE after saying why on standard error.
int avrsim_parse_args(int argc, char **argv, avrsim_options *opts);
