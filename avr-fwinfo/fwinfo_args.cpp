#include "fwinfo_args.h"

#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

#ifndef OKT_PACKAGE_VERSION
#error "OKT_PACKAGE_VERSION names the package version; the build defines it"
#endif

namespace
{

// --version's line before the version: the rollout takes the tools on a board for the package's
// only when avr-fwinfo --version says this and the package's version
// (deploy/ansible/roles/okt_board/vars/main.yml, okt_tools_line): change both together.
constexpr char VERSION_TITLE[] = "avr-fwinfo (okt32-service-tools) ";

args_action wrong(fwinfo_args *args, const char *problem, const char *arg)
{
    args->problem = problem;
    args->problem_arg = arg;
    return ARGS_WRONG;
}

bool is(const char *arg, const char *option)
{
    return strcmp(arg, option) == 0;
}

// Takes the options in front of the file names; returns ARGS_RUN with *next at the first file
// name, or the action an option asks for.
args_action decode_options(int argc, char **argv, fwinfo_args *args, int *next)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const char *arg = argv[i];
        if (is(arg, "--help") || is(arg, "-h"))
            return ARGS_HELP;
        if (is(arg, "--version"))
            return ARGS_VERSION;
        if (is(arg, "--json")) {
            args->json = true;
            continue;
        }
        if (!is(arg, "--expect-hwid"))
            return wrong(args, "unknown option", arg);
        if (args->expect_hwid)
            return wrong(args, "--expect-hwid given twice", nullptr);
        if (i + 1 >= argc)
            return wrong(args, "--expect-hwid needs the hardware identifier", nullptr);
        args->expect_hwid = argv[++i];
        // The identifier has 8 bytes: a longer text could only ever match its first 8.
        if (strlen(args->expect_hwid) > EXPECTED_HWID_MAX)
            return wrong(args,
                         "the hardware identifier has at most 8 characters:", args->expect_hwid);
    }
    *next = i;
    return ARGS_RUN;
}

} // namespace

args_action decode_args(int argc, char **argv, fwinfo_args *args)
{
    *args = fwinfo_args{};
    int first = argc;
    const args_action action = decode_options(argc, argv, args, &first);
    if (action != ARGS_RUN)
        return action;
    for (int i = first; i < argc; ++i)
        if (argv[i][0] == '-')
            return wrong(args, "options go before the file names:", argv[i]);
    const int files = argc - first;
    if (files == 1) {
        args->pack_path = argv[first];
    } else if (files == 2) {
        args->flash_path = argv[first];
        args->eep_path = argv[first + 1];
    } else {
        return wrong(args, nullptr, nullptr);
    }
    return ARGS_RUN;
}

void print_usage(const char *program)
{
    printf("usage: %s [--json] [--expect-hwid TEXT] <packfile>\n"
           "       %s [--json] [--expect-hwid TEXT] <flash.hex> <eeprom.hex>\n"
           "       %s --help | --version\n",
           program, program, program);
}

void print_help(const char *program)
{
    print_usage(program);
    puts("\nTells what a PACK file or a HEX pair holds and whether it is fit to flash, without\n"
         "touching any device.\n"
         "\n"
         "  --json              the report as one JSON object\n"
         "  --expect-hwid TEXT  exit with 23 unless the firmware is for hardware TEXT\n"
         "  -h, --help          this help\n"
         "  --version           the version\n"
         "\n"
         "Exit status: 0 fit to flash; 1 wrong command line; 1-7, 10-13 the input does not load\n"
         "(as avr-fwupdate); 20 stamp mismatch; 21 flash checksum mismatch; 23\n"
         "firmware for other hardware. See avr-fwinfo(1).");
}

void print_version()
{
    printf("%s%s\n", VERSION_TITLE, OKT_PACKAGE_VERSION);
}

void print_wrong_args(const char *program, const fwinfo_args &args)
{
    if (args.problem) {
        printf("%s: %s", program, args.problem);
        if (args.problem_arg) {
            putchar(' ');
            print_shown_text(args.problem_arg);
        }
        putchar('\n');
    }
    print_usage(program);
}
