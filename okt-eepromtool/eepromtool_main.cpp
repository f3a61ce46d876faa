#include "eepromtool_main.h"

#include "cmdline_actions.h"
#include "editor.h"
#include "owners.h"

#include <cstdio>

namespace
{

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// The rollout takes it for "no serial number" when serialbb prints it
// (deploy/ansible/filter_plugins/avr_update.py, _serial): change both together.
constexpr char PROBE_ERROR_LINE[] = "probe error";

} // namespace

int okt_eepromtool_main(int argc, char **argv)
{
    malloc_ptr<okt_eep_modinfo> table(okt_eep_init());
    if (!table) {
        puts("memory allocation error!");
        return EXIT_FAILED;
    }
    tool_result result;
    if (argc < 2) // the interactive editor fails only on its first probe
        result = main_interactive(table.get()) == 0 ? TOOL_DONE : TOOL_PROBE_FAILED;
    else
        result = main_cmdline(argc, argv, table.get());
    switch (result) {
    case TOOL_DONE:
        return EXIT_DONE;
    case TOOL_FAILED:
        return EXIT_FAILED;
    case TOOL_USAGE:
        return EXIT_USAGE;
    case TOOL_PROBE_FAILED:
    case TOOL_SET_FAILED:
        puts(PROBE_ERROR_LINE);
        return EXIT_FAILED;
    }
    return EXIT_FAILED; // not reached: every result has its case
}
