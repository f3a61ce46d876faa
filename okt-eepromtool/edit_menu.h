// The edit menu over one module's record: one key per field dialog.
#pragma once

#include "oktideep.h"

// Edit menu loop on one entry; returns on q or at end of input.
void edit_module(okt_eep_modinfo *entry);
