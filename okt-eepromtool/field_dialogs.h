// The field dialogs of the edit menu, entries 1 to 7. Each changes the record in memory only;
// a dialog whose input ends before it is finished leaves its field as it was.
#pragma once

#include "oktideep.h"

void clear_bootcntr(okt_eep_modinfo *entry);
void edit_bootcntr(okt_eep_modinfo *entry);
void edit_manuf_date(okt_eep_modinfo *entry);
void edit_maint_date(okt_eep_modinfo *entry);
void select_desc_string(okt_eep_modinfo *entry);
void edit_rev_string(okt_eep_modinfo *entry);
void edit_serial(okt_eep_modinfo *entry);
