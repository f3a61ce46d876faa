// The output file of the packers: a temporary file that replaces an existing PACK only once it
// is complete.
#pragma once

#include "owners.h"

#include <climits>

// A PACK file under construction: a temporary file in the folder of the file it will replace.
// The destructor removes the temporary file unless pack_output_commit has renamed it.
struct pack_output {
    pack_output() = default;
    ~pack_output();
    pack_output(const pack_output &) = delete;
    pack_output &operator=(const pack_output &) = delete;

    unique_fd fd;
    char target_path[PATH_MAX] = {}; // the output path with its symbolic links followed
    char tmp_path[PATH_MAX] = {};
};

// Follows out_path through symbolic links (also to a target that does not exist yet) and creates
// the temporary file beside the target (permission bits 0644, less the umask), so the links stay
// and only the target is replaced. Refuses a target that is something other than a regular file,
// so a device or a folder is never replaced, and a chain of links that does not end.
// 0 on success, -1 otherwise (nothing printed).
int pack_output_open(const char *out_path, pack_output *out);

// Flushes the temporary file to the disk, closes it and renames it over the target.
// 0 on success, -1 otherwise (nothing printed; the temporary file is removed).
int pack_output_commit(pack_output *out);
