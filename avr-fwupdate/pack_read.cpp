// Placeholder until the PACK code lands.
#include "pack.h"

int pack_read(int, const pack_head *, unsigned char **, unsigned char **, unsigned char **, unsigned char **) { return 11; }
