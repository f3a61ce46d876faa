// okt-eepromtool: reads and edits the modules' ID EEPROMs, interactively or one scripted action.
#include "cmdline_actions.h"
#include "editor.h"
#include "owners.h"

#include <cstdio>

int main(int argc, char **argv)
{
    malloc_ptr<okt_eep_modinfo> table(okt_eep_init());
    if (!table) {
        puts("memory allocation error!");
        return 1;
    }
    int result = argc < 2 ? main_interactive(table.get()) : main_cmdline(argc, argv, table.get());
    // The interactive editor fails only on its first probe; the scripted actions report
    // their own failures and give the exit status as a positive result.
    if (result < 0 || (argc < 2 && result != 0)) {
        puts("probe error");
        return 1;
    }
    return result;
}
