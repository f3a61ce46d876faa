// avr-fwinfo --json as a script reads it: the exact document for the fixture and for an input
// that does not load, and the same facts and verdict as the text report.
#include "fwinfo_test_support.h"
#include "json_value.h"
#include "pack_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace
{

// `text` with every @NAME@ replaced by its value.
std::string filled(std::string text, const std::vector<std::pair<std::string, std::string>> &values)
{
    for (const auto &[name, value] : values)
        for (std::size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + value.size()))
            text.replace(at, name.size(), value);
    return text;
}

TEST_F(Fwinfo, JsonGivesTheSameFacts)
{
    std::string path = pack(3);
    pack_head h = head_of(read_file(path));
    run_result r = fwinfo({"--json", path});
    // The document as a script sees it, with the values that depend on the run filled in.
    EXPECT_EQ(r.out, filled(read_file(source_path("tests/avr_fwinfo/fixture_v3.json")),
                            {{"@VERSION@", OKT_PACKAGE_VERSION},
                             {"@FILE@", path},
                             {"@EEP_CKSUM@", std::to_string(h.eep_cksum)},
                             {"@FW_SIZE@", std::to_string(h.fw_size)},
                             {"@FW_CKSUM@", std::to_string(h.fw_cksum)}}));
    EXPECT_EQ(r.status, 0);
}

TEST_F(Fwinfo, JsonOfAnInputThatDoesNotLoad)
{
    std::string missing = dir.file("missing.pack");
    run_result r = fwinfo({"--json", missing});
    EXPECT_EQ(r.out, "{\n"
                     "  \"schema_version\": 1,\n"
                     "  \"tool_version\": \"" OKT_PACKAGE_VERSION "\",\n"
                     "  \"input\": {\n"
                     "    \"kind\": \"pack\",\n"
                     "    \"file\": \"" +
                         missing +
                         "\",\n"
                         "    \"pack_version\": null\n"
                         "  },\n"
                         "  \"loader_messages\": [\n"
                         "    \"file open/stat/read error " +
                         missing +
                         "\"\n"
                         "  ],\n"
                         "  \"hardware_check\": null,\n"
                         "  \"result\": {\n"
                         "    \"exit_code\": 3,\n"
                         "    \"verdict\": \"load_failed\",\n"
                         "    \"message\": \"LOAD FAILED: the input does not load; the updater "
                         "stops on it with status 3\"\n"
                         "  }\n"
                         "}\n");
    EXPECT_EQ(r.status, 3);
}

// The text line that begins with `label`, or "" when there is none.
std::string line_with(const std::vector<std::string> &lines, const std::string &label)
{
    for (const std::string &line : lines)
        if (line.rfind(label, 0) == 0)
            return line;
    return "";
}

std::string hex_number(const char *format, long long v)
{
    char buf[32];
    snprintf(buf, sizeof buf, format, static_cast<unsigned long>(v));
    return buf;
}

// The facts a person reads in the text report, as the JSON document gives them.
void expect_same_facts(const std::vector<std::string> &text, const json_value &doc)
{
    EXPECT_EQ(line_with(text, "New Firmware Data      : "), doc.at("new_firmware.line")->text);
    const std::string stamp = line_with(text, "Stamp                  : ");
    EXPECT_NE(stamp.find(hex_number("0x%08lX", doc.at("stamp.sum")->number)), std::string::npos);
    EXPECT_NE(stamp.find(hex_number("length 0x%04lX", doc.at("stamp.length")->number)),
              std::string::npos);
    const std::string sum = line_with(text, "Flash word sum         : ");
    EXPECT_EQ(sum.rfind("Flash word sum         : " +
                            hex_number("0x%08lX", doc.at("stamp.computed_sum")->number),
                        0),
              0u)
        << sum;
    const bool matches = doc.at("stamp.matches")->boolean;
    EXPECT_EQ(sum.find(": matches") != std::string::npos, matches) << sum;
    EXPECT_EQ(sum.find("MISMATCH") != std::string::npos, !matches) << sum;
    if (doc.at("stamp.length_wrapped")->boolean) {
        EXPECT_NE(
            sum.find(hex_number("over 0x%05lX bytes", doc.at("stamp.covered_length")->number)),
            std::string::npos)
            << sum;
    }
    EXPECT_EQ(line_with(text, "Flash blocks to send   : ")
                  .rfind("Flash blocks to send   : " +
                             std::to_string(doc.at("blocks.flash.count")->number),
                         0),
              0u);
    EXPECT_EQ(line_with(text, "EEPROM blocks to send  : ")
                  .rfind("EEPROM blocks to send  : " +
                             std::to_string(doc.at("blocks.eeprom.count")->number),
                         0),
              0u);
}

TEST_F(Fwinfo, TextAndJsonTellTheSame)
{
    const std::string small = small_flash();
    const json_run runs[] = {
        {"version 1", {pack(1)}},
        {"version 2", {pack(2)}},
        {"version 3", {pack(3)}},
        {"HEX pair", {FLASH_HEX, EEPROM_HEX}},
        {"small pair for other hardware", {"--expect-hwid", "OKT32-XX", small, EEPROM_HEX}},
        {"damaged stamp", {stamp_damaged_pack()}},
        {"flash checksum", {flash_cksum_damaged_pack()}},
        {"missing file", {dir.file("missing.pack")}},
        {"bad magic", {put("magic.pack", std::string(40, 'X'))}},
    };
    for (const json_run &run : runs) {
        SCOPED_TRACE(run.label);
        run_result text = fwinfo(run.args);
        std::vector<std::string> args = {"--json"};
        args.insert(args.end(), run.args.begin(), run.args.end());
        run_result json = fwinfo(args);
        json_value doc;
        std::string error;
        ASSERT_TRUE(parse_json(json.out, &doc, &error)) << error << "\n" << json.out;

        EXPECT_EQ(json.status, text.status);
        EXPECT_EQ(doc.at("result.exit_code")->number, text.status);
        const std::vector<std::string> lines = split_lines(text.out);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), doc.at("result.message")->text);
        EXPECT_EQ(lines[lines.size() - 2], "");
        // The loader's messages come first in the text, as they do in an update.
        const std::vector<json_value> &messages = doc.at("loader_messages")->items;
        ASSERT_LE(messages.size(), lines.size());
        for (std::size_t i = 0; i < messages.size(); ++i)
            EXPECT_EQ(lines[i], messages[i].text);
        if (doc.at("result.verdict")->text == "load_failed") {
            EXPECT_EQ(lines.size(), messages.size() + 2) << text.out;
        } else {
            expect_same_facts(lines, doc);
        }
    }
}

} // namespace
