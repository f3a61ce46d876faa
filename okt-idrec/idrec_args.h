// okt-idrec's command line: a command word (show, make, read, write), then its operands and
// options in any order; "--" ends the options. An option's value is the next argument (or follows
// "=" in the same one). --help (-h) and --version stand alone or anywhere after the command.
#pragma once

#include "idrec_build.h"

#include <cstdio>

enum idrec_command { IDREC_SHOW, IDREC_MAKE, IDREC_READ, IDREC_WRITE };

enum idrec_args_action {
    IDREC_ARGS_RUN,
    IDREC_ARGS_HELP,    // print the help, exit 0
    IDREC_ARGS_VERSION, // print the version line, exit 0
    IDREC_ARGS_WRONG,   // print `problem` and the usage on standard error, exit 1
};

struct idrec_args {
    idrec_command command;
    char **operands; // in the caller's room, in the order given
    int operand_count;
    bool json;
    const char *from;    // make --from RECORD
    const char *json_in; // make --json-in FILE|-
    field_options fields;
    bool expect_blank;
    const char *expect_serial;
    bool force;
    const char *backup;
    const char *problem;     // IDREC_ARGS_WRONG: what is wrong
    const char *problem_arg; // the argument it concerns, or null
};

// Decodes the command line. `room` holds argc pointers; the operands are collected there.
idrec_args_action decode_idrec_args(int argc, char **argv, char **room, idrec_args *args);

// The usage lines (on standard error after a wrong command line, in the help on standard output).
void print_idrec_usage(FILE *out);
// The usage followed by what each command and option does and the exit statuses.
void print_idrec_help();
// "okt-idrec (okt32-service-tools) <version>"
void print_idrec_version();
// "okt-idrec: <problem> <argument>", then the usage, on standard error.
void print_idrec_wrong_args(const idrec_args &args);
