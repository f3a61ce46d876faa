#include "atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int TMP_NAME_ATTEMPTS = 100;
// Links followed before the chain counts as a loop, as many as the kernel follows.
constexpr int LINK_HOPS = 40;

// Replaces the last component of path (a link) by the link's text: an absolute text as it is, a
// relative one in the link's own folder. false when the result does not fit.
bool follow_link(char path[PATH_MAX], const char *link_text)
{
    char next[PATH_MAX];
    const char *slash = strrchr(path, '/');
    int folder_len = link_text[0] == '/' || !slash ? 0 : static_cast<int>(slash - path) + 1;
    int n = snprintf(next, sizeof next, "%.*s%s", folder_len, path, link_text);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof next)
        return false;
    memcpy(path, next, static_cast<std::size_t>(n) + 1);
    return true;
}

// Follows path through symbolic links up to a name that is no link: an existing file of any kind,
// or a name that does not exist (the target of a dangling link). false for a loop or an
// unreadable link.
bool resolve_links(char path[PATH_MAX])
{
    for (int hop = 0; hop <= LINK_HOPS; ++hop) {
        struct stat st;
        if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        if (hop == LINK_HOPS)
            break;
        char link_text[PATH_MAX];
        ssize_t n = readlink(path, link_text, sizeof link_text - 1);
        if (n <= 0)
            return false;
        link_text[n] = '\0';
        if (!follow_link(path, link_text))
            return false;
    }
    return false;
}

void restore_xfsz(atomic_file *f)
{
    if (f->xfsz_saved) {
        sigaction(SIGXFSZ, &f->saved_xfsz, nullptr);
        f->xfsz_saved = false;
    }
}

// The kernel's own view of the path decides whether a rename may replace it; the followed text
// must then lead to that very file, or the rename would hit another one.
atomic_file_open_result check_target(const char *path, atomic_file *out)
{
    int len = snprintf(out->target_path, sizeof out->target_path, "%s", path);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof out->target_path)
        return ATOMIC_FILE_FAILED;
    struct stat named;
    bool exists = stat(path, &named) == 0;
    if (exists && !S_ISREG(named.st_mode))
        return ATOMIC_FILE_NOT_REPLACEABLE;
    if (!resolve_links(out->target_path))
        return ATOMIC_FILE_FAILED;
    struct stat target;
    if (exists && (stat(out->target_path, &target) != 0 || target.st_dev != named.st_dev ||
                   target.st_ino != named.st_ino))
        return ATOMIC_FILE_NOT_REPLACEABLE;
    return ATOMIC_FILE_OPEN;
}

} // namespace

atomic_file::~atomic_file()
{
    if (tmp_path[0] != '\0') {
        fd.reset();
        unlink(tmp_path);
    }
    restore_xfsz(this);
}

atomic_file_open_result atomic_file_open(const char *path, mode_t mode, atomic_file *out)
{
    atomic_file_open_result checked = check_target(path, out);
    if (checked != ATOMIC_FILE_OPEN)
        return checked;

    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    out->xfsz_saved = sigaction(SIGXFSZ, &ignore, &out->saved_xfsz) == 0;

    // The temporary name extends the target's own path, so it lies in the same folder and the
    // final rename cannot cross file systems.
    static unsigned int serial = 0;
    for (int attempt = 0; attempt < TMP_NAME_ATTEMPTS; ++attempt) {
        int n = snprintf(out->tmp_path, sizeof out->tmp_path, "%s.tmp-%ld-%u", out->target_path,
                         static_cast<long>(getpid()), serial++);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof out->tmp_path)
            break;
        int fd = open(out->tmp_path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            out->fd.reset(fd);
            return ATOMIC_FILE_OPEN;
        }
        if (errno != EEXIST)
            break;
    }
    out->tmp_path[0] = '\0';
    restore_xfsz(out);
    return ATOMIC_FILE_FAILED;
}

atomic_file_commit_result atomic_file_commit(atomic_file *out)
{
    bool synced = fsync(out->fd.get()) == 0;
    bool closed = close(out->fd.release()) == 0;
    if (!synced || !closed || rename(out->tmp_path, out->target_path) != 0)
        return ATOMIC_FILE_NOT_COMMITTED; // the destructor removes the temporary file
    out->tmp_path[0] = '\0';
    restore_xfsz(out);
    return ATOMIC_FILE_COMMITTED;
}
