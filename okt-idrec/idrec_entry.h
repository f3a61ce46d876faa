// okt-idrec's program entry, a library function so that a multi-call program can run it too.
#pragma once

// Decodes the command line, runs the command and returns the exit status (okt-idrec(1), EXIT
// STATUS). Reports go to standard output, errors and warnings to standard error.
int okt_idrec_main(int argc, char **argv);
