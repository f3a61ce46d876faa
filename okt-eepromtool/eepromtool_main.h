// okt-eepromtool's entry: the module table, then the interactive editor or one scripted action.
#pragma once

// Called by the program's main and by the board's one program (okt32-tools). Without arguments
// runs the editor, else the action argv[1] names; returns the exit status: 0 done, 1 failed (the
// table could not be allocated or an action failed; after a failed probe or set "probe error" is
// printed), 2 the command line names no action.
int okt_eepromtool_main(int argc, char **argv);
