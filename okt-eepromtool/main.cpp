// okt-eepromtool: reads and edits the modules' ID EEPROMs, interactively or one scripted action.
#include "eepromtool_main.h"

int main(int argc, char **argv)
{
    return okt_eepromtool_main(argc, argv);
}
