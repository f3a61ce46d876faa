// okt-idrec's text reports on standard output, with the editor's labels and forms, and the
// findings on standard error.
#pragma once

#include "idrec_facts.h"
#include "idrec_module.h"

// "File               : <path>", then the record's lines.
void print_file_report(const char *path, const record_facts &facts);

// "Module             : ext0 (Extension Module 0, I2C bus 0 address 0x52)", the state, and the
// record's lines when the module was read completely.
void print_module_report(const module_report &report);

// One line on standard error per finding: "okt-idrec: <who>: warning: <finding>" or
// "... note: ...". Returns the number of warnings.
int print_findings(const char *who, const record_facts &facts);
