// The JSON document's schema: every member has its documented type, every member of the schema
// shows up for some input, and the man page lists exactly these members.
#include "fwinfo_test_support.h"
#include "json_value.h"
#include "man_page.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

// The type each member may have: n number, s string, b true or false, o object, a array,
// z null.
const std::map<std::string, std::string> SCHEMA = {
    {"schema_version", "n"},
    {"tool_version", "s"},
    {"input", "o"},
    {"input.kind", "s"},
    {"input.file", "s"},
    {"input.pack_version", "nz"},
    {"input.flash_file", "s"},
    {"input.eeprom_file", "s"},
    {"loader_messages", "a"},
    {"images", "o"},
    {"images.flash_bytes", "n"},
    {"images.eeprom_bytes", "n"},
    {"payloads", "o"},
    {"payloads.eeprom", "o"},
    {"payloads.eeprom.stored_bytes", "n"},
    {"payloads.eeprom.checksum", "n"},
    {"payloads.eeprom.head_checksum", "n"},
    {"payloads.eeprom.checksum_matches", "b"},
    {"payloads.flash", "o"},
    {"payloads.flash.stored_bytes", "n"},
    {"payloads.flash.raw_bytes", "nz"},
    {"payloads.flash.checksum", "n"},
    {"payloads.flash.head_checksum", "n"},
    {"payloads.flash.checksum_matches", "b"},
    {"new_firmware", "o"},
    {"new_firmware.line", "s"},
    {"new_firmware.letter", "s"},
    {"new_firmware.digits", "a"},
    {"new_firmware.build_day", "n"},
    {"new_firmware.build_month", "n"},
    {"new_firmware.build_year_in_century", "n"},
    {"new_firmware.hardware_id", "s"},
    {"new_firmware.hardware_id_bytes", "a"},
    {"stamp", "o"},
    {"stamp.sum", "n"},
    {"stamp.length", "n"},
    {"stamp.matches", "b"},
    {"stamp.covered_length", "nz"},
    {"stamp.length_wrapped", "b"},
    {"stamp.computed_sum", "n"},
    {"stamp.sent", "b"},
    {"blocks", "o"},
    {"blocks.flash", "o"},
    {"blocks.flash.count", "n"},
    {"blocks.flash.ranges", "a"},
    {"blocks.flash.ranges[].first", "n"},
    {"blocks.flash.ranges[].last", "n"},
    {"blocks.eeprom", "o"},
    {"blocks.eeprom.count", "n"},
    {"blocks.eeprom.ranges", "a"},
    {"blocks.eeprom.ranges[].first", "n"},
    {"blocks.eeprom.ranges[].last", "n"},
    {"transfer", "o"},
    {"transfer.line_bytes", "n"},
    {"transfer.bit_times_per_byte", "n"},
    {"transfer.programming_time_included", "b"},
    {"transfer.rates", "a"},
    {"transfer.rates[].baud", "n"},
    {"transfer.rates[].milliseconds", "n"},
    {"hardware_check", "oz"},
    {"hardware_check.expected", "s"},
    {"hardware_check.matches", "bz"},
    {"result", "o"},
    {"result.exit_code", "n"},
    {"result.verdict", "s"},
    {"result.message", "s"},
};

TEST_F(Fwinfo, EveryJsonFieldHasItsTypeAndIsDocumented)
{
    const std::string small = small_flash();
    const std::string erased = put("erased.hex", ":04010000DEADBEEFC3\n:00000001FF\n");
    const json_run runs[] = {
        {"version 1", {pack(1)}},
        {"version 3", {pack(3)}},
        {"HEX pair", {FLASH_HEX, EEPROM_HEX}},
        {"erased identification", {"--expect-hwid", "OKT32-BB", small, erased}},
        {"damaged stamp", {stamp_damaged_pack()}},
        {"missing file", {"--expect-hwid", "OKT32-BB", dir.file("missing.pack")}},
        {"bad magic", {put("magic.pack", std::string(40, 'X'))}},
    };
    std::set<std::string> seen;
    for (const json_run &run : runs) {
        SCOPED_TRACE(run.label);
        std::vector<std::string> args = {"--json"};
        args.insert(args.end(), run.args.begin(), run.args.end());
        run_result r = fwinfo(args);
        json_value doc;
        std::string error;
        ASSERT_TRUE(parse_json(r.out, &doc, &error)) << error << "\n" << r.out;
        EXPECT_EQ(doc.at("schema_version")->number, 1);
        for (const auto &[path, value] : json_members(doc)) {
            seen.insert(path);
            auto field = SCHEMA.find(path);
            if (field == SCHEMA.end()) {
                ADD_FAILURE() << path << " is no field of the schema";
                continue;
            }
            EXPECT_NE(field->second.find(json_kind_letter(*value)), std::string::npos) << path;
        }
        for (const json_value &m : doc.at("loader_messages")->items)
            EXPECT_EQ(m.kind, json_value::STRING);
        if (const json_value *id = doc.at("new_firmware.hardware_id_bytes")) {
            EXPECT_EQ(id->items.size(), 8u);
            for (const json_value &b : id->items)
                EXPECT_TRUE(b.kind == json_value::NUMBER && b.number >= 0 && b.number <= 255);
        }
        if (const json_value *digits = doc.at("new_firmware.digits")) {
            EXPECT_EQ(digits->items.size(), 3u);
        }
    }
    std::set<std::string> schema;
    for (const auto &field : SCHEMA)
        schema.insert(field.first);
    EXPECT_EQ(seen, schema) << "a field of the schema never appeared";
    EXPECT_EQ(tagged_words(source_path("docs/avr-fwinfo.1"), "JSON OUTPUT"), schema)
        << "the man page's JSON OUTPUT lists other fields";
}

} // namespace
