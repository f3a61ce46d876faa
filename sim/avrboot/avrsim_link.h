// A stable name for the simulator's device: a symbolic link that follows it to each new
// pseudo-terminal.
#pragma once

struct avrsim;

enum avrsim_link_result {
    AVRSIM_LINK_OK = 0,
    AVRSIM_LINK_FAILED = -1,     // errno tells why
    AVRSIM_LINK_NOT_A_LINK = -2, // something other than a symbolic link has the name
};

// Points `path` at the current device and remembers it, so that the link moves along when a
// hang-up puts a new pseudo-terminal in place. The link is made in one step (a new link under a
// temporary name in the same folder is renamed over the old one), so an opener finds the old
// device or the new one, never none. Replaces only a symbolic link.
avrsim_link_result avrsim_link(avrsim *sim, const char *path);

// Removes the link when it still names this simulator's device (another simulator may have taken
// the name over since) and forgets it.
void avrsim_unlink(avrsim *sim);
