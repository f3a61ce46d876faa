#include "avrsim_link.h"

#include "avr_bootsim.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The link's target, or "" when `path` is no symbolic link.
std::string link_target(const char *path)
{
    char buf[4096];
    ssize_t n = readlink(path, buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, (std::size_t)n);
}

} // namespace

avrsim_link_result avrsim_link(avrsim *sim, const char *path)
{
    std::string name = path;
    struct stat st;
    if (lstat(name.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return AVRSIM_LINK_NOT_A_LINK;
    std::string temp = name + "." + std::to_string(getpid()) + ".new";
    unlink(temp.c_str()); // left over from a killed simulator that had the same process number
    if (symlink(sim->slave_path, temp.c_str()) != 0)
        return AVRSIM_LINK_FAILED;
    if (rename(temp.c_str(), name.c_str()) != 0) {
        int saved = errno;
        unlink(temp.c_str());
        errno = saved;
        return AVRSIM_LINK_FAILED;
    }
    sim->link_path = name;
    return AVRSIM_LINK_OK;
}

void avrsim_unlink(avrsim *sim)
{
    if (!sim->link_path.empty() && link_target(sim->link_path.c_str()) == sim->slave_path)
        unlink(sim->link_path.c_str());
    sim->link_path.clear();
}
