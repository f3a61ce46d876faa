#include "pack_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr mode_t PACK_FILE_MODE = 0644; // before the umask
constexpr int PACK_TMP_NAME_ATTEMPTS = 100;
// Links followed before the chain counts as a loop, as many as the kernel follows.
constexpr int PACK_LINK_HOPS = 40;

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
    for (int hop = 0; hop <= PACK_LINK_HOPS; ++hop) {
        struct stat st;
        if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        if (hop == PACK_LINK_HOPS)
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

} // namespace

pack_output::~pack_output()
{
    if (tmp_path[0] != '\0') {
        fd.reset();
        unlink(tmp_path);
    }
}

int pack_output_open(const char *out_path, pack_output *out)
{
    int len = snprintf(out->target_path, sizeof out->target_path, "%s", out_path);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof out->target_path ||
        !resolve_links(out->target_path))
        return -1;
    struct stat st;
    if (stat(out->target_path, &st) == 0 && !S_ISREG(st.st_mode))
        return -1;

    // The temporary name extends the target's own path, so it lies in the same folder and the
    // final rename cannot cross file systems.
    static unsigned int serial = 0;
    for (int attempt = 0; attempt < PACK_TMP_NAME_ATTEMPTS; ++attempt) {
        int n = snprintf(out->tmp_path, sizeof out->tmp_path, "%s.tmp-%ld-%u", out->target_path,
                         static_cast<long>(getpid()), serial++);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof out->tmp_path)
            break;
        int fd = open(out->tmp_path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, PACK_FILE_MODE);
        if (fd >= 0) {
            out->fd.reset(fd);
            return 0;
        }
        if (errno != EEXIST)
            break;
    }
    out->tmp_path[0] = '\0';
    return -1;
}

int pack_output_commit(pack_output *out)
{
    bool synced = fsync(out->fd.get()) == 0;
    bool closed = close(out->fd.release()) == 0;
    if (!synced || !closed || rename(out->tmp_path, out->target_path) != 0)
        return -1; // the destructor removes the temporary file
    out->tmp_path[0] = '\0';
    return 0;
}
