#include "cmdline.h"

#include "baud_table.h"
#include "verbosity.h"

#include <cstdlib>
#include <cstring>

namespace
{

constexpr int PACK_MODE_ARGC = 4; // pack option, output file, data file, EEPROM file

bool begins_with(const char *arg, const char *prefix)
{
    return strncmp(arg, prefix, strlen(prefix)) == 0;
}

verbosity_level verbosity_option(const char *arg)
{
    if (begins_with(arg, "-vv"))
        return VERBOSITY_TRACE;
    if (begins_with(arg, "-v"))
        return VERBOSITY_VERBOSE;
    return VERBOSITY_QUIET;
}

} // namespace

cmdline_result decode_command_line(int argc, char *const argv[], command_line *args)
{
    const int nargs = argc - 1;
    *args = command_line{};

    if (nargs == PACK_MODE_ARGC && begins_with(argv[1], "-pack")) {
        if (begins_with(argv[1], "-pack1"))
            args->mode = MODE_PACK_V1;
        else if (begins_with(argv[1], "-pack2"))
            args->mode = MODE_PACK_V2;
        else
            args->mode = MODE_PACK_V3;
        args->pack_file = argv[2];
        args->data_file = argv[3];
        args->eep_file = argv[4];
        return CMDLINE_OK;
    }

    if (nargs < 3 || nargs > 5)
        return CMDLINE_USAGE;

    args->devnode = argv[1];
    args->baud = strtol(argv[2], nullptr, 10);
    args->speed = baud_to_speed(args->baud);
    if (args->speed == 0)
        return CMDLINE_BAD_BAUD;
    // A verbosity option as the only argument after the baud rate names no file at all.
    if (nargs == 3 && verbosity_option(argv[3]) != VERBOSITY_QUIET)
        return CMDLINE_USAGE;

    switch (nargs) {
    case 3:
        args->mode = MODE_UPDATE_PACK;
        args->pack_file = argv[3];
        break;
    case 4:
        args->verbosity = verbosity_option(argv[3]);
        if (args->verbosity != VERBOSITY_QUIET) {
            args->mode = MODE_UPDATE_PACK;
            args->pack_file = argv[4];
        } else {
            args->mode = MODE_UPDATE_HEX;
            args->data_file = argv[3];
            args->eep_file = argv[4];
        }
        break;
    default:
        // With five arguments a third that is no verbosity option is ignored.
        args->verbosity = verbosity_option(argv[3]);
        args->mode = MODE_UPDATE_HEX;
        args->data_file = argv[4];
        args->eep_file = argv[5];
        break;
    }
    return CMDLINE_OK;
}
