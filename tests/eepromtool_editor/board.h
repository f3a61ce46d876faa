// A simulated board for the editor's tests: one 256-byte EEPROM file per module in a fresh
// folder, the preload environment that makes okt-eepromtool use them, and record builders.
#pragma once

#include "temp_dir.h"

#include <cstdint>
#include <string>
#include <vector>

struct module_id {
    const char *name; // role name as the screens show it
    int bus;
    int addr;         // 8-bit form
    const char *file; // EEPROM file in the board folder
};

extern const module_id CPU, MOTHERBOARD, EXT0, EXT1;

constexpr size_t EEPROM_SIZE = 256; // a 24C02
constexpr size_t RECORD_SIZE = 128;

struct record_fields {
    uint32_t counter = 0;
    std::string manuf_date; // 6 packed bytes
    std::string maint_date;
    std::string desc; // up to 16 raw bytes each, zero-filled
    std::string rev;
    std::string serial;
};

// The 128 record bytes; the reserved area carries a pattern so a write of it can be seen.
std::string record_bytes(const record_fields &f);
std::string packed_date(int day, int month, int year, int hour, int minute);

// The records every test starts from: CPU module and motherboard hold normal records, extension
// module 0 is erased (all 0xFF), extension module 1 is absent.
record_fields cpu_record();
record_fields motherboard_record();

struct board {
    board(); // the standard board above
    temp_dir dir;
    std::string tail; // EEPROM bytes 128..255, never written by the tool

    void put(const module_id &m, const std::string &record); // 128 bytes, then `tail`
    void remove(const module_id &m);
    std::string eeprom(const module_id &m) const; // whole file, empty when absent
    std::string log() const;
    // Environment for the program: the preload library, this folder and a transaction log.
    std::vector<std::string> env(const std::vector<std::string> &more = {}) const;
};
