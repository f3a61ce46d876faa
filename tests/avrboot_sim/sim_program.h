// avr-bootsim started as scripts start it: in the background, through the test launcher, with
// its standard output in a file.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

constexpr double START_LIMIT_MS = 60000; // a launcher such as qemu or valgrind starts slowly

std::string sim_program();

// Starts the simulator with standard output in `out_path`; returns its process id or -1.
pid_t spawn_sim(const std::vector<std::string> &args, const std::string &out_path);
// Waits for the process to end; its exit status, or 128 + signal number.
int wait_status(pid_t pid);

// Waits until the file holds `text` (at most START_LIMIT_MS); returns the file's contents.
std::string wait_for_text(const std::string &path, const std::string &text);
// Waits until `path` is a symbolic link (at most START_LIMIT_MS); returns its target or "".
std::string wait_for_link(const std::string &path);
// The target of a symbolic link, "" when `path` is none.
std::string link_target(const std::string &path);

std::string first_line(const std::string &s);
std::string shell_quote(const std::string &s);
