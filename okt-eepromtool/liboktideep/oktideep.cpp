// Placeholder until the library lands.
#include "oktideep.h"
