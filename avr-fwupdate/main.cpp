// avr-fwupdate: updates the baseboard AVR's firmware over its boot loader, or builds PACK files.
#include "driver.h"

int main(int argc, char **argv)
{
    return avr_fwupdate_main(argc, argv);
}
