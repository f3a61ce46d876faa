// okt-idrec's four commands. Each prints its report on standard output and its errors on standard
// error, and tells how it ended; okt_idrec_main turns that into the exit status.
#pragma once

#include "idrec_args.h"

enum idrec_outcome {
    IDREC_DONE,
    IDREC_USAGE,        // a wrong command line the decoder cannot see (an unknown module word)
    IDREC_INVALID,      // a value, a document or a record the checks refuse
    IDREC_FILE,         // a file that cannot be read, written or replaced, or of another size
    IDREC_DEVICE,       // a bus device that cannot be opened, a module not read completely
    IDREC_REFUSED,      // a guard of write refused
    IDREC_WRITE_FAILED, // the write failed, or the record read back differs
};

// The process exit status of an outcome: 0 done, 1 usage, 2 invalid input, 3 file, 4 device,
// 5 refused by a guard, 6 write or verify failed.
int idrec_exit_status(idrec_outcome outcome);

// show FILE... [--json]
idrec_outcome idrec_show(const idrec_args &args);
// make OUT [--from RECORD | --json-in FILE|-] [field options] [--json]
idrec_outcome idrec_make(const idrec_args &args);
// read MODULE|all [--json]
idrec_outcome idrec_read(const idrec_args &args);
// write MODULE RECORD [--expect-blank | --expect-serial T | --force] [--backup PATH] [--json]
idrec_outcome idrec_write(const idrec_args &args);
