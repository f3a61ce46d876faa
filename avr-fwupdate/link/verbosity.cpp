#include "verbosity.h"

int verbosity = VERBOSITY_QUIET;

bool verbose()
{
    return verbosity >= VERBOSITY_VERBOSE;
}

bool tracing()
{
    return verbosity >= VERBOSITY_TRACE;
}
