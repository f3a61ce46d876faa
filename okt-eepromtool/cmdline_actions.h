// The scripted actions: one action word (and a file path for dump and set) per run.
#pragma once

#include "oktideep.h"

// How a run ended. Whatever the action had to say has been printed; main adds the last line
// where one is due and turns the result into the exit status.
enum tool_result {
    TOOL_DONE,
    // A dump failed or its module's record was not read completely (nothing saved then), or a
    // serial action's module did not answer.
    TOOL_FAILED,
    TOOL_USAGE,        // the command line names no action; the usage text was printed
    TOOL_PROBE_FAILED, // a bus device could not be opened; no action was done
    TOOL_SET_FAILED,   // a set action failed (set_data printed why)
};

// Checks the command line (printing the usage text and returning TOOL_USAGE before touching
// any bus when it names no action, or a dump or set word lacks exactly one path), probes silently,
// then performs the action named by argv[1]. Action words match as prefixes of the argument,
// first in table order wins.
tool_result main_cmdline(int argc, char **argv, okt_eep_modinfo *table);

// Prints the usage text listing the action words.
void print_usage();

// Saves the entry's record to `path` (128 bytes, mode 0644 before umask). A regular file, also
// one that a symbolic link leads to, is replaced as a whole: the bytes go to a temporary file in
// its folder, which is flushed to the disk and renamed over it, so a failed dump leaves an older
// file as it was and no temporary file behind. A device or a FIFO is written in place.
// 0 ok; -1 null entry or path; -2 the file cannot be created ("cannot create '<path>'" printed);
// -3 a short write or a failed flush or rename ("WARNING: not all of eep data written!").
int dump_data(const okt_eep_modinfo *entry, const char *path);

// Loads 128 bytes from `path` into the entry's record and writes it to the EEPROM.
// 0 ok; -1 null entry/path; -2 cannot open; -3 short file; else okt_eep_write_modinfo's result.
// Each failure but a null argument prints its message.
int set_data(okt_eep_modinfo *entry, const char *path);
