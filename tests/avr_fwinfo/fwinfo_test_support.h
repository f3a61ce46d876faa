// What the avr-fwinfo system tests share: the fixture firmware, PACK files made of it by the
// updater, files damaged or crafted on purpose, and avr-fwinfo run as a user runs it.
#pragma once

#include "pack_format.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

extern const std::string FIXTURES;
extern const std::string FLASH_HEX;  // flash up to 0x1012C: a table above 64 KiB
extern const std::string EEPROM_HEX; // EEPROM up to 0x150, hardware id OKT32-BB

run_result fwinfo(const std::vector<std::string> &args);

pack_head head_of(const std::string &file);
std::string hex8(uint32_t v);

// The fixture's flash without its table above 64 KiB: 0x15A bytes, so the stamp fits.
std::string small_flash_hex();

// An EEPROM HEX text that holds just the 16-byte identification record `ident` and room for the
// stamp after it.
std::string ident_hex(const std::string &ident);

// A version-2 PACK split into its payloads.
struct pack_parts {
    std::string eep;
    std::string fw;
};
pack_parts parts_of(const std::string &file);

// One run of avr-fwinfo among several in a test, with its name for the trace.
struct json_run {
    std::string label;
    std::vector<std::string> args; // without --json
};

struct Fwinfo : testing::Test {
    temp_dir dir;

    // A PACK file of the given version made by the updater's packer.
    std::string pack(int version, const std::string &flash = FLASH_HEX,
                     const std::string &eep = EEPROM_HEX);
    // The small flash HEX file in the test's folder.
    std::string small_flash();
    // `bytes` as the file `name` in the test's folder; returns its path.
    std::string put(const std::string &name, const std::string &bytes);
    // A version-2 PACK of the small flash whose stamp no longer matches: the first flash byte is
    // one less, the head's checksums are made to fit.
    std::string stamp_damaged_pack();
    // A version-2 PACK of the small flash whose head gives a wrong flash checksum.
    std::string flash_cksum_damaged_pack();
};
