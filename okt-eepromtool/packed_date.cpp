// Placeholder until the tool lands.
#include "packed_date.h"
