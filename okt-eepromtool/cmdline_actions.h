// The scripted actions: one action word (and a file path for dump and set) per run.
#pragma once

#include "oktideep.h"

// Probes silently, then performs the action named by argv[1]. -1 when the probe failed,
// the result of set_data for the set actions, 0 otherwise.
int main_cmdline(int argc, char **argv, okt_eep_modinfo *table);

// Saves the entry's record to `path` (128 bytes, mode 0644). 0 ok, non-zero after a printed failure.
int dump_data(const okt_eep_modinfo *entry, const char *path);

// Loads 128 bytes from `path` into the entry's record and writes it to the EEPROM.
// 0 ok; -1 null entry/path; -2 cannot open; -3 short file; else okt_eep_write_modinfo's result.
int set_data(okt_eep_modinfo *entry, const char *path);
