// Placeholder until the tool lands.
#include "cmdline_actions.h"
