// The interactive menu editor: a main menu that selects one module and writes its record, an
// edit menu over the selected record's fields, and one dialog per field. Edits change only the
// record in memory; W in the main menu writes it. Input ends like q: nothing is written.
#pragma once

#include "oktideep.h"

// Banner, first read of all EEPROMs, main menu. 0 after q (or end of input); otherwise the
// non-zero result of the first probe, before any menu.
int main_interactive(okt_eep_modinfo *table);
