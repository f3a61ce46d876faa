// The exit status of avr-fwupdate: each layer's result turned into the number the process ends
// with, in this one place. The layers' results carry no number of their own. avr-fwinfo reports
// an input that does not load with the same numbers. docs/avr-fwupdate.1 lists them all (EXIT
// STATUS), and a test holds this unit to that list.
//
// A result that lets the run go on (..._OK) gives 0, as does the end of a successful update or
// packing. Statuses are 0 to 255, as the process shows them.
#pragma once

#include "avr_protocol.h"
#include "cmdline.h"
#include "ihex_file.h"
#include "pack_decode.h"
#include "pack_load.h"
#include "pack_write.h"
#include "serial_link.h"

int exit_status(cmdline_result result);
int exit_status(ihex_load_result result);
int exit_status(pack_decode_result result);
// `decoded` counts only when the result is PACK_LOAD_NOT_DECODED.
int exit_status(pack_load_result result, pack_decode_result decoded);
int exit_status(comm_open_result result);
int exit_status(prepare_result result);
int exit_status(version_result result);
int exit_status(upload_result result);
int exit_status(finish_result result);
int exit_status(pack_write_result result);
