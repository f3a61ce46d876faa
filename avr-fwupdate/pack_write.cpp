// Placeholder until the PACK code lands.
#include "pack.h"

int pack_write_v1(const char *, const char *, const char *) { return -1; }
int pack_write_v2(const char *, const char *, const char *) { return -1; }
int pack_write_v3(const char *, const char *, const char *) { return -1; }
