// avr-fwinfo: tells what a PACK file or a HEX pair holds and whether it is fit to flash, without
// touching any device.
#include "fwinfo_run.h"

int main(int argc, char **argv)
{
    return avr_fwinfo_main(argc, argv);
}
