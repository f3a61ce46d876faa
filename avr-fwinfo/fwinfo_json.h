// avr-fwinfo's report as one JSON object on standard output, for scripts.
#pragma once

#include "fwinfo_input.h"
#include "fwinfo_report.h"

#include <cstddef>

// The same facts as one JSON object. loader_output holds what the loader printed (len bytes),
// given as a list of lines.
void print_json_report(const fw_input &in, const fw_report &report, const char *loader_output,
                       std::size_t len);

// The JSON object for an input that did not load: what is known of it, the loader's lines and
// its result code.
void print_json_failure(const fw_input &in, int code, const char *expected_hwid,
                        const char *loader_output, std::size_t len);
