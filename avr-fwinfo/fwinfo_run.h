// avr-fwinfo's run: command line, loading through the updater's loaders, report, exit code.
#pragma once

// avr-fwinfo's entry, called by its main and by the board's one program (okt32-tools). Returns
// the process exit status: 0 the firmware is consistent (and, when asked, for the expected
// hardware), 1 wrong command line, the updater's status when the input does not load, 20 the stamp
// does not match the flash image, 21 a PACK's flash payload does not match its checksum, 23 the
// firmware is for other hardware than --expect-hwid names. --help and --version exit with 0.
int avr_fwinfo_main(int argc, char **argv);
