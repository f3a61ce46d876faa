// What the okt-idrec system tests share: records built byte by byte, a folder of files, emulated
// i2c-dev buses whose EEPROMs are files of that folder, and the program run as a user runs it.
#pragma once

#include "json_value.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t RECORD_SIZE = 128;
constexpr std::size_t EEPROM_SIZE = 256; // a 24C02

// A record's fields; texts are zero-padded to their 16 bytes unless they are 16 bytes already.
struct record_fields {
    uint32_t bootcntr = 0;
    std::string manuf_date = std::string(6, '\0'); // 6 packed bytes
    std::string maint_date = std::string(6, '\0');
    std::string desc;
    std::string rev;
    std::string serial;
    std::string reserved = std::string(64, '\0');
};

std::string build_record(const record_fields &f);
// A programmed record with every field set.
std::string sample_record();
// How show and read report sample_record(), from its state line on.
extern const std::string SAMPLE_TEXT;
// The record as every read leaves it: bytes 31, 47 and 63 cleared.
std::string sanitized(std::string record);
std::string hex(const std::string &bytes);

// One emulated module: the emulation's file name i2c-<bus>-<7-bit address>.
struct module_file {
    const char *word; // okt-idrec's module word
    const char *file;
    int bus;
    int addr7;
};
extern const module_file CPU, BB, EXT0, EXT1;
extern const module_file *const MODULES[4];

struct idrec : ::testing::Test {
    temp_dir dir;
    std::vector<std::string> env; // extra NAME=VALUE for the program

    std::string path(const std::string &name) const { return dir.file(name); }
    std::string put(const std::string &name, const std::string &bytes) const;

    // The EEPROM of a module: its first 128 bytes hold `record`, the rest a pattern.
    void put_eeprom(const module_file &m, const std::string &record) const;
    std::string eeprom(const module_file &m) const;
    std::string eeprom_record(const module_file &m) const { return eeprom(m).substr(0, 128); }
    void remove_eeprom(const module_file &m) const;
    std::string log() const;

    // The program with the emulation preloaded and its log in the folder.
    run_result run(const std::vector<std::string> &args, const std::string &stdin_text = "");
};

// The one JSON document of a report of one line; fails the test when it is no such line.
json_value parse_line(const std::string &out);
