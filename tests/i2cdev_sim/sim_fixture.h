// A fresh set of simulated EEPROMs for one test and the environment that preloads the i2c-dev
// emulation into a program started with run_program().
#pragma once

#include "run_program.h"
#include "temp_dir.h"

#include <string>
#include <vector>

// 256 bytes, byte i holding the value i: every offset reads back as itself.
std::string counting_eeprom();

struct i2c_sim {
    temp_dir dir;
    std::vector<std::string> env_extra; // further NAME=VALUE entries, e.g. I2CSIM_FAULTS=...

    // Creates the device file i2c-<bus>-<addr> (addr as two lowercase hex digits).
    void add_device(int bus, int addr, const std::string &bytes = counting_eeprom()) const;
    std::string device(int bus, int addr) const; // the device file's current contents
    std::string log_path() const { return dir.file("log"); }
    // The log's lines, descriptor numbers replaced as by number_descriptors().
    std::vector<std::string> log_lines() const;
    run_options options() const; // LD_PRELOAD, I2CSIM_DIR, I2CSIM_LOG and env_extra
};

// Runs the test client (tests/i2cdev_sim/i2c_client.cpp) with the emulation preloaded; returns
// its output lines, descriptor numbers replaced as by number_descriptors().
std::vector<std::string> run_client(const i2c_sim &sim, const std::vector<std::string> &steps,
                                    run_result *raw = nullptr);

// Replaces each descriptor number in "open=N" and "fd=N" by "#1", "#2", ... in order of first
// appearance: the numbers depend on what the test runner left open, their sameness does not.
std::string number_descriptors(const std::string &text);
