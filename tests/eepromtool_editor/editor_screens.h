// The editor's screens as the tests expect them, built from small pieces so every test states
// only what differs.
#pragma once

#include "board.h"

#include <string>
#include <vector>

// What the module information block shows, as display texts.
struct info_lines {
    std::string counter; // "00001234 (0x000004d2)"
    std::string manuf;   // " (invalid)" for an invalid manufacture date
    std::string maint;   // "(invalid)" for an invalid maintenance date
    std::string desc;    // text between the brackets, already padded when shorter than 15
    std::string rev;
    std::string serial;
};

std::string info_block(const info_lines &i);
info_lines cpu_info();         // the standard CPU record
info_lines motherboard_info(); // the standard motherboard record
info_lines erased_info();      // an all-0xFF record
info_lines zero_info();        // an all-zero record (module never answered)

std::string pad15(const std::string &text);
std::string counter_text(uint32_t value);

// Banner up to and including "built on "; a 20-character build stamp and "\n\n" follow it.
std::string banner_head();
// The whole banner: the head, this build's stamp (OKT_BUILD_STAMP) and "\n\n".
std::string banner();
// Reading report for the four modules in table order; true = the module answered.
std::string reading_report(const std::vector<bool> &answered);
std::string standard_report(); // the standard board: the first three answer
std::string main_screen(const module_id &m, const info_lines &i);
std::string edit_screen(const module_id &m, const info_lines &i);
std::string edit_done();
std::string hexdump_screen(const module_id &m, const std::string &record);
// The write frame; `i2c_message` is what the I2C layer prints between module line and verdict.
std::string write_screen(const module_id &m, bool ok, const std::string &i2c_message = "");
