// avr-fwinfo's command line: options first (--json, --expect-hwid TEXT, --help or -h,
// --version), then one PACK file or a flash and an EEPROM HEX file. Any other argument that
// begins with "-" is a wrong command line, never a file name.
#pragma once

#include <cstddef>

constexpr std::size_t EXPECTED_HWID_MAX = 8; // characters: the hardware id's bytes

enum args_action {
    ARGS_RUN,     // inspect the files
    ARGS_HELP,    // print the help, exit 0
    ARGS_VERSION, // print the version line, exit 0
    ARGS_WRONG,   // print `problem` (when given) and the usage, exit 1
};

struct fwinfo_args {
    bool json;
    const char *expect_hwid; // null: no hardware check
    const char *pack_path;   // one file: a PACK file
    const char *flash_path;  // two files: flash and EEPROM HEX files
    const char *eep_path;
    const char *problem;     // ARGS_WRONG: what is wrong, or null when only the files are
    const char *problem_arg; // the argument it concerns, or null
};

args_action decode_args(int argc, char **argv, fwinfo_args *args);

// The three usage lines with the program name as typed.
void print_usage(const char *program);
// The usage followed by what each option does and the exit statuses.
void print_help(const char *program);
// "avr-fwinfo (okt32-service-tools) <version>\n"
void print_version();
// The line that names what is wrong (when there is one), then the usage.
void print_wrong_args(const char *program, const fwinfo_args &args);
