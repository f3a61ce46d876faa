// Runs a built program the way a user does: a real process, its own arguments, environment and
// standard input; captures standard output, standard error and the exit status.
#pragma once

#include <string>
#include <vector>

struct run_options {
    std::vector<std::string> env; // NAME=VALUE entries for the program (override inherited ones)
    std::string stdin_text;       // written to the program's standard input, then closed
    bool stdin_from_null = false; // use /dev/null instead of stdin_text
    int timeout_seconds = 120;    // the program is killed after this long
    // The program's file-size limit in bytes, as `ulimit -f` sets it; negative: inherited.
    long long file_size_limit = -1;
    // Start the program with SIGXFSZ ignored, so writes beyond the limit fail instead of ending
    // it; a shell's `ulimit -f` leaves the signal at its default action.
    bool ignore_sigxfsz = false;
    std::string dir; // the program's working folder; empty: this process's
};

struct run_result {
    std::string out; // everything written to standard output
    std::string err; // everything written to standard error
    int status = -1; // exit status 0..255, or 128 + signal number when killed
    bool timed_out = false;
};

// Path of a program under test: the build tree's bin folder, or OKT_TEST_PROGRAM_DIR when set
// (a cross build's programs, started through the launcher).
std::string bin_path(const std::string &name);
// Path of a preload library under test: the build's lib folder, or OKT_TEST_LIBRARY_DIR.
std::string lib_path(const std::string &name);
// Path below the source tree.
std::string source_path(const std::string &relative);

// The launcher prefix (OKT_TEST_LAUNCHER, split at blanks) followed by the program and its
// arguments. LD_* environment entries go through OKT_TEST_LAUNCHER_ENV_FLAG when that is set;
// the others are inherited through the environment.
std::vector<std::string> launch_argv(const std::string &program,
                                     const std::vector<std::string> &args,
                                     const std::vector<std::string> &env);
bool launcher_in_use();
// The environment to start the launched program with: this process's environment plus the
// entries of `env` that do not go through the launcher's option (replacing inherited entries of
// the same name).
std::vector<std::string> launch_env(const std::vector<std::string> &env);

run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const run_options &opts = {});

std::string read_file(const std::string &path);
// The lines of a text, without their line ends.
std::vector<std::string> split_lines(const std::string &text);
// The lines of a text that hold `part`, without their line ends.
std::vector<std::string> lines_with(const std::string &text, const std::string &part);
// Writes the file whole (created or truncated); false when it could not be.
bool write_file(const std::string &path, const std::string &bytes);
