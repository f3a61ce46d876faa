#include "verbosity.h"

int verbosity = VERBOSITY_QUIET;
