// What the updater's system tests share: the firmware they install and the one the simulated AVR
// reports as installed, the updater's banner, and a fixture that serves the built updater from a
// simulated boot loader on a pty.
#pragma once

#include "avr_bootsim.h"
#include "firmware_files.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

constexpr int PROGRAM_TIMEOUT_S = 120;

// The identification the tests' new firmware carries: B207 of 14.06.2025 for OKT32-BB.
extern const unsigned char NEW_IDENT[16];
extern const char NEW_IDENT_LINE[];
// What the simulated AVR reports as installed: A123 of 05.04.2023 for the same hardware.
extern const char INSTALLED_IDENT_LINE[];

// Banner and maker's notice as the built updater prints them: everything before its usage line.
const std::string &banner();

std::string as_string(const std::vector<unsigned char> &bytes);
std::string as_string(const unsigned char *bytes, std::size_t len);

// A temporary folder and a simulated AVR with the installed firmware above, not yet opened.
class updater_on_sim : public ::testing::Test
{
  protected:
    void SetUp() override;

    // Opens the simulator's line with cfg, serves one run of the updater on it (the line's path,
    // then `args`) and stops the simulator.
    run_result serve_update(const std::vector<std::string> &args);

    // After serving: the boot loader approved the update, holds fw's images and saw the protocol
    // kept.
    void expect_avr_holds(const test_firmware &fw);

    temp_dir dir;
    std::unique_ptr<avrsim> sim;
    avrsim_config cfg;
};
