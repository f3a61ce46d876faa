// okt-idrec: makes, shows, reads and writes the modules' ID records as data.
#include "idrec_entry.h"

int main(int argc, char **argv)
{
    return okt_idrec_main(argc, argv);
}
