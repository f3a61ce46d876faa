#include "pack_internal.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr mode_t PACK_FILE_MODE = 0644; // before the umask
constexpr int PACK_TMP_NAME_ATTEMPTS = 100;

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
    struct stat st;
    if (stat(out_path, &st) == 0 && !S_ISREG(st.st_mode))
        return -1;

    // The temporary name extends the output's own path, so it lies in the same folder and the
    // final rename cannot cross file systems.
    static unsigned int serial = 0;
    for (int attempt = 0; attempt < PACK_TMP_NAME_ATTEMPTS; ++attempt) {
        int n = snprintf(out->tmp_path, sizeof out->tmp_path, "%s.tmp-%ld-%u", out_path,
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

int pack_output_commit(const char *out_path, pack_output *out)
{
    bool synced = fsync(out->fd.get()) == 0;
    bool closed = close(out->fd.release()) == 0;
    if (!synced || !closed || rename(out->tmp_path, out_path) != 0)
        return -1; // the destructor removes the temporary file
    out->tmp_path[0] = '\0';
    return 0;
}
