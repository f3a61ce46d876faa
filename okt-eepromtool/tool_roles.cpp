// Placeholder until the tool lands.
#include "tool_roles.h"
