// Replacing a file as a whole: the new contents go to a temporary file beside the file they
// replace, and a rename puts it in the file's place only once it is complete and on the disk. A
// failed write leaves the old file as it was, and a reader sees the old file or the new one.
#pragma once

#include "owners.h"

#include <climits>
#include <csignal>
#include <sys/types.h>

// A replacement under construction. While it is open, SIGXFSZ is ignored, so a write beyond the
// file-size limit (`ulimit -f`) fails and can be reported instead of the signal ending the program
// and leaving the temporary file behind. The destructor removes the temporary file unless
// atomic_file_commit has renamed it, and puts SIGXFSZ's disposition back.
struct atomic_file {
    atomic_file() = default;
    ~atomic_file();
    atomic_file(const atomic_file &) = delete;
    atomic_file &operator=(const atomic_file &) = delete;

    unique_fd fd;                    // the temporary file, open for reading and writing
    char target_path[PATH_MAX] = {}; // the path given, its symbolic links followed
    char tmp_path[PATH_MAX] = {};    // empty once renamed or removed
    struct sigaction saved_xfsz = {};
    bool xfsz_saved = false;
};

enum atomic_file_open_result {
    ATOMIC_FILE_OPEN, // the temporary file is made and open
    // The path names something a rename must not replace: a device (/dev/null, /dev/stdout on a
    // terminal), a FIFO, a folder, or a file that its links' texts do not lead to (a
    // /proc/self/fd link). Nothing was made.
    ATOMIC_FILE_NOT_REPLACEABLE,
    // The temporary file cannot be made: its folder is missing or not writable, a chain of links
    // does not end, or the path is too long.
    ATOMIC_FILE_FAILED,
};

// Follows `path` through symbolic links (also to a target that does not exist yet) and creates
// the temporary file beside the target with permission bits `mode` (less the umask), so the links
// stay and only the target is replaced. Prints nothing.
atomic_file_open_result atomic_file_open(const char *path, mode_t mode, atomic_file *out);

enum atomic_file_commit_result {
    ATOMIC_FILE_COMMITTED, // the target holds the new contents
    // Flushing, closing or the rename failed (errno tells why): the target is as it was, and the
    // temporary file goes with the atomic_file.
    ATOMIC_FILE_NOT_COMMITTED,
};

// Flushes the temporary file to the disk, closes it and renames it over the target. Prints
// nothing.
atomic_file_commit_result atomic_file_commit(atomic_file *out);
