// The board's four modules by the words of the command line (cpu, bb, ext0, ext1), and one
// module's record read through liboktideep.
#pragma once

#include "idrec_facts.h"
#include "oktideep.h"
#include "tool_roles.h"

// The module's role for its word, or -1 for another word.
int module_role(const char *word);
// "cpu", "bb", "ext0" or "ext1" for an entry of the module table.
const char *module_word(const okt_eep_modinfo *entry);

enum module_status {
    MODULE_NO_BUS,     // the bus device cannot be opened
    MODULE_ABSENT,     // no answer at byte 0 (not fitted, or held by a kernel driver)
    MODULE_INCOMPLETE, // the read broke off at bytes_read
    MODULE_READ,       // all 128 bytes read; facts holds them
};

struct module_report {
    const okt_eep_modinfo *entry;
    module_status status;
    int error;          // MODULE_NO_BUS: the errno of the open
    int bytes_read;     // MODULE_ABSENT, MODULE_INCOMPLETE, MODULE_READ
    record_facts facts; // MODULE_READ
};

// Reads the entry's record (okt_eep_read_modinfo, so the library's own read path, bytes 31, 47
// and 63 cleared as every read clears them) and decodes it. Prints nothing.
void read_module(okt_eep_modinfo *entry, module_report *report);

// The report's status word: "no_bus", "absent", "incomplete", or the record's state "blank",
// "empty" or "programmed".
const char *module_status_word(const module_report &report);
// "no bus (cannot open /dev/i2c-1: No such file or directory)", "absent (no answer at byte 0)",
// "incomplete (the read broke off at offset 40)", or the record's state.
void describe_module_status(const module_report &report, char *out, std::size_t size);
// "blank", "empty" or "programmed".
const char *record_state_word(record_state state);
// "blank (every byte 0xff)", "empty (every byte 0)" or "programmed".
const char *record_state_text(record_state state);
