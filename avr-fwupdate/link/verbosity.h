// The updater's detail level: 0 quiet, 1 verbose (-v), 2 verbose with a byte trace (-vv).
// Set once by the program entry before any loading or port activity; read by the link and
// protocol code.
#pragma once

enum verbosity_level { VERBOSITY_QUIET = 0, VERBOSITY_VERBOSE = 1, VERBOSITY_TRACE = 2 };

extern int verbosity;

// Level 1 or 2: progress in words instead of single characters.
bool verbose();
// Level 2: the byte trace around every exchange.
bool tracing();
