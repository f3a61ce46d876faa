// Placeholder until the editor lands.
#include "editor.h"

int main_interactive(okt_eep_modinfo *) { return 0; }
