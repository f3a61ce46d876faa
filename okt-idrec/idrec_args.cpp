#include "idrec_args.h"

#include "idrec_message.h"
#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

#ifndef OKT_PACKAGE_VERSION
#error "OKT_PACKAGE_VERSION names the package version; the build defines it"
#endif

namespace
{

// The commands an option belongs to, one bit each.
constexpr unsigned FOR_SHOW = 1u << IDREC_SHOW;
constexpr unsigned FOR_MAKE = 1u << IDREC_MAKE;
constexpr unsigned FOR_READ = 1u << IDREC_READ;
constexpr unsigned FOR_WRITE = 1u << IDREC_WRITE;

enum option_id {
    OPT_JSON,
    OPT_FROM,
    OPT_JSON_IN,
    OPT_SERIAL,
    OPT_DESC,
    OPT_REV,
    OPT_MANUF_DATE,
    OPT_MAINT_DATE,
    OPT_BOOTCNTR,
    OPT_EXPECT_BLANK,
    OPT_EXPECT_SERIAL,
    OPT_FORCE,
    OPT_BACKUP,
};

struct option_spec {
    const char *name;
    option_id id;
    bool takes_value;
    unsigned commands;
};

constexpr option_spec OPTIONS[] = {
    {"--json", OPT_JSON, false, FOR_SHOW | FOR_MAKE | FOR_READ | FOR_WRITE},
    {"--from", OPT_FROM, true, FOR_MAKE},
    {"--json-in", OPT_JSON_IN, true, FOR_MAKE},
    {"--serial", OPT_SERIAL, true, FOR_MAKE},
    {"--desc", OPT_DESC, true, FOR_MAKE},
    {"--rev", OPT_REV, true, FOR_MAKE},
    {"--manuf-date", OPT_MANUF_DATE, true, FOR_MAKE},
    {"--maint-date", OPT_MAINT_DATE, true, FOR_MAKE},
    {"--bootcntr", OPT_BOOTCNTR, true, FOR_MAKE},
    {"--expect-blank", OPT_EXPECT_BLANK, false, FOR_WRITE},
    {"--expect-serial", OPT_EXPECT_SERIAL, true, FOR_WRITE},
    {"--force", OPT_FORCE, false, FOR_WRITE},
    {"--backup", OPT_BACKUP, true, FOR_WRITE},
};

struct command_spec {
    const char *word;
    idrec_command command;
    int min_operands;
    int max_operands; // -1: any number
    const char *operands_wanted;
};

constexpr command_spec COMMANDS[] = {
    {"show", IDREC_SHOW, 1, -1, "show needs one or more record files"},
    {"make", IDREC_MAKE, 1, 1, "make needs exactly one output file"},
    {"read", IDREC_READ, 1, 1, "read needs exactly one module: cpu, bb, ext0, ext1 or all"},
    {"write", IDREC_WRITE, 2, 2, "write needs a module (cpu, bb, ext0, ext1) and a record file"},
};

idrec_args_action wrong(idrec_args *args, const char *problem, const char *arg)
{
    args->problem = problem;
    args->problem_arg = arg;
    return IDREC_ARGS_WRONG;
}

const char **value_slot(idrec_args *a, option_id id)
{
    switch (id) {
    case OPT_FROM:
        return &a->from;
    case OPT_JSON_IN:
        return &a->json_in;
    case OPT_SERIAL:
        return &a->fields.serial;
    case OPT_DESC:
        return &a->fields.desc;
    case OPT_REV:
        return &a->fields.rev;
    case OPT_MANUF_DATE:
        return &a->fields.manuf_date;
    case OPT_MAINT_DATE:
        return &a->fields.maint_date;
    case OPT_BOOTCNTR:
        return &a->fields.bootcntr;
    case OPT_EXPECT_SERIAL:
        return &a->expect_serial;
    case OPT_BACKUP:
        return &a->backup;
    case OPT_JSON:
    case OPT_EXPECT_BLANK:
    case OPT_FORCE:
        break;
    }
    return nullptr;
}

bool *flag_slot(idrec_args *a, option_id id)
{
    switch (id) {
    case OPT_JSON:
        return &a->json;
    case OPT_EXPECT_BLANK:
        return &a->expect_blank;
    case OPT_FORCE:
        return &a->force;
    case OPT_FROM:
    case OPT_JSON_IN:
    case OPT_SERIAL:
    case OPT_DESC:
    case OPT_REV:
    case OPT_MANUF_DATE:
    case OPT_MAINT_DATE:
    case OPT_BOOTCNTR:
    case OPT_EXPECT_SERIAL:
    case OPT_BACKUP:
        break;
    }
    return nullptr;
}

// The option an argument names ("--serial" or "--serial=..."), and where its value starts when
// it has one after "=".
const option_spec *find_option(const char *arg, const char **inline_value)
{
    *inline_value = nullptr;
    for (const option_spec &o : OPTIONS) {
        const std::size_t n = strlen(o.name);
        if (strncmp(arg, o.name, n) != 0)
            continue;
        if (arg[n] == '\0')
            return &o;
        if (arg[n] == '=' && o.takes_value) {
            *inline_value = arg + n + 1;
            return &o;
        }
    }
    return nullptr;
}

bool is(const char *arg, const char *word)
{
    return strcmp(arg, word) == 0;
}

// One option at argv[*i]; moves *i past its value.
idrec_args_action take_option(int argc, char **argv, int *i, unsigned command_bit, idrec_args *args)
{
    const char *arg = argv[*i];
    const char *value = nullptr;
    const option_spec *o = find_option(arg, &value);
    if (!o)
        return wrong(args, "unknown option", arg);
    if (!(o->commands & command_bit))
        return wrong(args, "this command has no option", o->name);
    if (!o->takes_value) {
        bool *flag = flag_slot(args, o->id);
        if (*flag)
            return wrong(args, "given twice:", o->name);
        *flag = true;
        return IDREC_ARGS_RUN;
    }
    if (!value) {
        if (*i + 1 >= argc)
            return wrong(args, "a value must follow", o->name);
        value = argv[++*i];
    }
    const char **slot = value_slot(args, o->id);
    if (*slot)
        return wrong(args, "given twice:", o->name);
    *slot = value;
    return IDREC_ARGS_RUN;
}

} // namespace

idrec_args_action decode_idrec_args(int argc, char **argv, char **room, idrec_args *args)
{
    *args = idrec_args{};
    args->operands = room;
    if (argc < 2)
        return wrong(args, "a command must be given", nullptr);
    for (int i = 1; i < argc; i++) {
        if (is(argv[i], "--help") || is(argv[i], "-h"))
            return IDREC_ARGS_HELP;
        if (is(argv[i], "--"))
            break;
    }
    if (is(argv[1], "--version"))
        return IDREC_ARGS_VERSION;
    const command_spec *cmd = nullptr;
    for (const command_spec &c : COMMANDS) {
        if (is(argv[1], c.word))
            cmd = &c;
    }
    if (!cmd)
        return wrong(args, "unknown command", argv[1]);
    args->command = cmd->command;

    bool options_ended = false;
    for (int i = 2; i < argc; i++) {
        const char *arg = argv[i];
        if (!options_ended && is(arg, "--")) {
            options_ended = true;
        } else if (!options_ended && arg[0] == '-' && arg[1] != '\0') {
            const idrec_args_action a = take_option(argc, argv, &i, 1u << cmd->command, args);
            if (a != IDREC_ARGS_RUN)
                return a;
        } else {
            room[args->operand_count++] = argv[i];
        }
    }
    if (args->operand_count < cmd->min_operands ||
        (cmd->max_operands >= 0 && args->operand_count > cmd->max_operands))
        return wrong(args, cmd->operands_wanted, nullptr);
    if (args->from && args->json_in)
        return wrong(args, "--from and --json-in exclude each other", nullptr);
    if (args->expect_blank + (args->expect_serial != nullptr) + args->force > 1)
        return wrong(args, "--expect-blank, --expect-serial and --force exclude each other",
                     nullptr);
    return IDREC_ARGS_RUN;
}

void print_idrec_usage(FILE *out)
{
    fputs("usage: okt-idrec show FILE... [--json]\n"
          "       okt-idrec make OUT [--from RECORD | --json-in FILE|-] [--serial TEXT]\n"
          "                 [--desc TEXT] [--rev TEXT] [--manuf-date DD.MM.YY-HH:MM|now]\n"
          "                 [--maint-date DD.MM.YY-HH:MM|now] [--bootcntr N] [--json]\n"
          "       okt-idrec read cpu|bb|ext0|ext1|all [--json]\n"
          "       okt-idrec write cpu|bb|ext0|ext1 RECORD\n"
          "                 [--expect-blank | --expect-serial TEXT | --force]\n"
          "                 [--backup PATH] [--json]\n"
          "       okt-idrec --help | --version\n",
          out);
}

void print_idrec_help()
{
    print_idrec_usage(stdout);
    puts("\nMakes, shows, reads and writes the 128-byte ID records of the OKT32 modules.\n"
         "\n"
         "  show    decode record files: fields, state (blank, empty, programmed), warnings\n"
         "  make    make a record file from zeros, --from a record or --json-in a document of\n"
         "          show --json, with the fields the options give; every value is checked\n"
         "  read    read modules on the board and report them\n"
         "  write   write a record file to a module: the module is read first and guarded,\n"
         "          the record read back after the write\n"
         "\n"
         "  --json                 the report as one JSON object on one line\n"
         "  --expect-blank         write only to a blank or empty module\n"
         "  --expect-serial TEXT   write only to a module whose serial number is TEXT\n"
         "  --force                write whatever the module and the record hold\n"
         "  --backup PATH          save the module's record to PATH before the write\n"
         "\n"
         "Exit status: 0 done; 1 wrong command line; 2 invalid input; 3 file error;\n"
         "4 device error; 5 refused by a guard of write; 6 write or verify failed.\n"
         "See okt-idrec(1).");
}

void print_idrec_version()
{
    printf("okt-idrec (okt32-service-tools) %s\n", OKT_PACKAGE_VERSION);
}

void print_idrec_wrong_args(const idrec_args &args)
{
    idrec_message("%s", args.problem ? args.problem : "wrong command line");
    if (args.problem_arg) {
        char shown[256] = "";
        append_shown(shown, sizeof shown, args.problem_arg, strlen(args.problem_arg));
        fprintf(stderr, " %s", shown);
    }
    fputc('\n', stderr);
    print_idrec_usage(stderr);
}
