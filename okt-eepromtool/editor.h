// The interactive menu editor.
#pragma once

#include "oktideep.h"

// Banner, first read of all EEPROMs, main menu. 0 after q (or end of input); otherwise the
// non-zero result of the first probe.
int main_interactive(okt_eep_modinfo *table);
