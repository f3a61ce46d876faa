// Inside the simulator's line: who else holds the slave device open.
#pragma once

#include "avr_bootsim.h"

namespace bootsim
{

// Reads the opens and closes of the slave device that happened since the last call, brings
// sim->peer_opens up to date and sets sim->peers_left when a close left nobody else holding the
// device. Does nothing when the device is not watched.
void read_peer_events(avrsim *sim);

// Hangs the line up as a hang-up rule does. A new pseudo-terminal is made first and the link, if
// any, moved to it; then the old one is closed. So the updater sees its line go down while the
// link never names a dead device. Without a new pseudo-terminal only the old one is closed
// (master_fd is then -1). The stop pipe stays either way.
void replace_line(avrsim *sim);

} // namespace bootsim
