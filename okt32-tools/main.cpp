// okt32-tools: the board's one program. It acts as the shipped program that the last component of
// argv[0] names, so that one copy of the C library and the C++ runtime serves them all; the board
// installs it under each of those names.
#include "driver.h"
#include "eepromtool_main.h"
#include "fwinfo_run.h"
#include "idrec_entry.h"

#include <cstdio>
#include <cstring>

namespace
{

struct program {
    const char *name;
    int (*entry)(int argc, char **argv);
};

// Every shipped program, by the name it is installed as.
constexpr program PROGRAMS[] = {
    {"avr-fwupdate", avr_fwupdate_main},
    {"okt-eepromtool", okt_eepromtool_main},
    {"avr-fwinfo", avr_fwinfo_main},
    {"okt-idrec", okt_idrec_main},
};

const char *last_component(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

} // namespace

int main(int argc, char **argv)
{
    const char *name = argc > 0 && argv[0] ? last_component(argv[0]) : "";
    for (const program &p : PROGRAMS) {
        if (!strcmp(p.name, name))
            return p.entry(argc, argv); // argv[0] as typed, for the usage texts
    }
    fputs("okt32-tools: run as one of:", stderr);
    for (const program &p : PROGRAMS)
        fprintf(stderr, " %s", p.name);
    fputc('\n', stderr);
    return 1;
}
