// avr-fwinfo's report for a person, on standard output.
#pragma once

#include "fwinfo_input.h"
#include "fwinfo_report.h"

// The report for a person, ending with the verdict line.
void print_text_report(const fw_input &in, const fw_report &report);
// After the loader's own messages: the verdict line of an input that did not load.
void print_text_failure(int code);
