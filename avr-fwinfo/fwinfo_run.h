// avr-fwinfo's run: command line, loading through the updater's loaders, report, exit code.
#pragma once

// Returns the process exit status: 0 the firmware is consistent, 1 wrong command line, a
// loader's result when the input does not load, 20 the stamp does not match the flash image,
// 21 a PACK's flash payload does not match its checksum, 22 a PACK's payloads could not be read
// a second time.
int run_fwinfo(int argc, char **argv);
