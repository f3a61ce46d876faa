// What avr-bootsim tells at the end of serving: the summary on standard output and the log file.
#pragma once

#include "avr_bootsim.h"

// Prints why serving ended, the command counts, the stored blocks, the stamp check and the
// protocol violations.
void avrsim_print_summary(const avrsim *sim, avrsim_end end);

// Writes one line per exchange and one per violation to the file. Returns 0 or -1.
int avrsim_write_log(const char *path, const avrsim *sim);
