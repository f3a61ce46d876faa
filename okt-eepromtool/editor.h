// The interactive menu editor: a main menu that selects one module and writes its record, an
// edit menu over the selected record's fields, and one dialog per field. Edits change only the
// record in memory; W in the main menu writes it. Input ends like q: nothing is written.
#pragma once

#include "oktideep.h"

// Banner, first read of all EEPROMs, main menu. 0 after q (or end of input); otherwise the
// non-zero result of the first probe, before any menu.
int main_interactive(okt_eep_modinfo *table);

// Main menu loop on the table, starting with the CPU module selected; returns on q or at end of
// input.
void main_menu(okt_eep_modinfo *table);

// Edit menu loop on one entry; returns on q or at end of input.
void edit_module(okt_eep_modinfo *entry);

// The six-line module information block.
void view_raw_module_info(const okt_eep_modinfo *entry);

// The entry's role name ("CPU Module", ...).
const char *module_role_name(const okt_eep_modinfo *entry);

// "Module-Role: <name>, I2C bus <n> address 0x<aa>" and an empty line.
void print_module_line(const okt_eep_modinfo *entry);

// The entry's 128 record bytes, framed, in the shared hex dump layout.
void hexdump_module(const okt_eep_modinfo *entry);

// Writes the entry's record to its EEPROM and reports success or failure, framed. A record whose
// last read was not complete is not written; that is reported as a failure.
void write_entry(const okt_eep_modinfo *entry);

// The field dialogs of the edit menu, entries 1 to 7. Each changes the record in memory only;
// a dialog whose input ends before it is finished leaves its field as it was.
void clear_bootcntr(okt_eep_modinfo *entry);
void edit_bootcntr(okt_eep_modinfo *entry);
void edit_manuf_date(okt_eep_modinfo *entry);
void edit_maint_date(okt_eep_modinfo *entry);
void select_desc_string(okt_eep_modinfo *entry);
void edit_rev_string(okt_eep_modinfo *entry);
void edit_serial(okt_eep_modinfo *entry);
