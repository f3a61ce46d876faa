#include "idrec_entry.h"

#include "idrec_args.h"
#include "idrec_commands.h"
#include "idrec_message.h"
#include "owners.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// read all gives its complete line with 0 and with 4 (a module absent, incomplete or on a bus
// that cannot be opened); the ID record inventory takes the line with these two only
// (deploy/ansible/filter_plugins/idrec_inventory.py, READ_STATUSES): change both together.
constexpr int EXIT_DONE = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_INVALID = 2;
constexpr int EXIT_FILE = 3;
constexpr int EXIT_DEVICE = 4;
constexpr int EXIT_REFUSED = 5;
constexpr int EXIT_WRITE_FAILED = 6;

idrec_outcome run(const idrec_args &args)
{
    switch (args.command) {
    case IDREC_SHOW:
        return idrec_show(args);
    case IDREC_MAKE:
        return idrec_make(args);
    case IDREC_READ:
        return idrec_read(args);
    case IDREC_WRITE:
        return idrec_write(args);
    }
    return IDREC_USAGE;
}

} // namespace

int idrec_exit_status(idrec_outcome outcome)
{
    switch (outcome) {
    case IDREC_DONE:
        return EXIT_DONE;
    case IDREC_USAGE:
        return EXIT_USAGE;
    case IDREC_INVALID:
        return EXIT_INVALID;
    case IDREC_FILE:
        return EXIT_FILE;
    case IDREC_DEVICE:
        return EXIT_DEVICE;
    case IDREC_REFUSED:
        return EXIT_REFUSED;
    case IDREC_WRITE_FAILED:
        return EXIT_WRITE_FAILED;
    }
    return EXIT_WRITE_FAILED;
}

int okt_idrec_main(int argc, char **argv)
{
    malloc_ptr<char *> room(static_cast<char **>(malloc(sizeof(char *) * (argc > 0 ? argc : 1))));
    if (!room) {
        idrec_message("no memory for the command line\n");
        return EXIT_USAGE;
    }
    idrec_args args;
    switch (decode_idrec_args(argc, argv, room.get(), &args)) {
    case IDREC_ARGS_RUN:
        break;
    case IDREC_ARGS_HELP:
        print_idrec_help();
        return EXIT_DONE;
    case IDREC_ARGS_VERSION:
        print_idrec_version();
        return EXIT_DONE;
    case IDREC_ARGS_WRONG:
        print_idrec_wrong_args(args);
        return EXIT_USAGE;
    }
    int status = idrec_exit_status(run(args));
    // A report that did not reach its reader is a failed run, not a quiet success.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        idrec_message("standard output: %s\n", strerror(errno));
        if (status == EXIT_DONE)
            status = EXIT_FILE;
    }
    return status;
}
