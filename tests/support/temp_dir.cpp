#include "temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

namespace
{
int remove_entry(const char *p, const struct stat *, int, struct FTW *)
{
    return remove(p);
}
} // namespace

temp_dir::temp_dir()
{
    const char *base = getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/okt-test-XXXXXX";
    if (mkdtemp(templ.data()))
        path = templ;
}

temp_dir::~temp_dir()
{
    if (!path.empty())
        nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> entries_of(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (const dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}
