// What avr-bootsim tells about each session: the summary on standard output and the log text.
#pragma once

#include "avr_bootsim.h"

#include <string>

// Prints how the session ended, the command counts, the stored blocks, the stamp check and the
// protocol violations. The first line names the session only when more than one was asked for.
void avrsim_print_summary(const avrsim *sim, avrsim_end end, int session, int sessions);

// Appends one line per exchange and one per violation of the session to *log, after a line that
// names the session when more than one was asked for.
void avrsim_log_session(std::string *log, const avrsim *sim, avrsim_end end, int session,
                        int sessions);
