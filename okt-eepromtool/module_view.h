// What the editor shows of one module, and its write: the information block, the module line,
// the hex dump and the framed write report.
#pragma once

#include "oktideep.h"

// The six-line module information block.
void view_raw_module_info(const okt_eep_modinfo *entry);

// "Module-Role: <name>, I2C bus <n> address 0x<aa>" and an empty line.
void print_module_line(const okt_eep_modinfo *entry);

// The entry's 128 record bytes, framed, in the shared hex dump layout.
void hexdump_module(const okt_eep_modinfo *entry);

// Writes the entry's record to its EEPROM and reports success or failure, framed. A record whose
// last read was not complete is not written; that is reported as a failure.
void write_entry(const okt_eep_modinfo *entry);
