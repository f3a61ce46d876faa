// The scripted actions: one action word (and a file path for dump and set) per run.
#pragma once

#include "oktideep.h"

// Results of main_cmdline besides 0 (done):
//  - negative: the probe or a set action failed; the caller prints "probe error" and exits with 1.
//  - positive: the exit status itself; whatever there was to say has been printed.
// a dump failed or its module's record was not read completely (nothing saved then), or a serial
// action's module did not answer
constexpr int CMDLINE_FAILED = 1;
constexpr int CMDLINE_USAGE = 2; // the command line names no action; the usage text was printed

// Checks the command line (printing the usage text and returning CMDLINE_USAGE before touching
// any bus when it names no action, or a dump or set word lacks exactly one path), probes silently,
// then performs the action named by argv[1]. Action words match as prefixes of the argument,
// first in table order wins. -1 when the probe failed, the result of set_data for the set
// actions, CMDLINE_FAILED as described above, 0 otherwise.
int main_cmdline(int argc, char **argv, okt_eep_modinfo *table);

// Prints the usage text listing the action words.
void print_usage();

// Saves the entry's record to `path` (128 bytes, mode 0644 before umask). 0 ok; -1 null entry or
// path; -2 the file cannot be created ("cannot create '<path>'" printed); -3 a short write (a
// warning printed).
int dump_data(const okt_eep_modinfo *entry, const char *path);

// Loads 128 bytes from `path` into the entry's record and writes it to the EEPROM.
// 0 ok; -1 null entry/path; -2 cannot open; -3 short file; else okt_eep_write_modinfo's result.
// Each failure but a null argument prints its message.
int set_data(okt_eep_modinfo *entry, const char *path);
