// The updater's run order: banner, command line, pack modes or loading, then the port stage.
#pragma once

// avr-fwupdate's entry, called by its main and by the board's one program (okt32-tools): runs it
// with its command line and returns the process exit status (exit_status.h).
int avr_fwupdate_main(int argc, char **argv);
