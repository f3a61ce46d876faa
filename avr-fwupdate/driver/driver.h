// The updater's run order: banner, command line, pack modes or loading, then the port stage.
#pragma once

// Runs avr-fwupdate with its command line and returns the process exit code (a negative code
// shows as 256 plus the code).
int run_updater(int argc, char **argv);
