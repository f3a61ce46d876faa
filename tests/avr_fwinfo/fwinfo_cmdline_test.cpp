// avr-fwinfo's command line as a script and a person use it: help and version, wrong lines, the
// hardware check of --expect-hwid, and files whose identification holds control bytes.
#include "fwinfo_test_support.h"
#include "json_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::string usage(const std::string &program)
{
    return "usage: " + program + " [--json] [--expect-hwid TEXT] <packfile>\n       " + program +
           " [--json] [--expect-hwid TEXT] <flash.hex> <eeprom.hex>\n       " + program +
           " --help | --version\n";
}

TEST(FwinfoOptions, HelpAndVersionExitZeroWhateverFollows)
{
    const std::string program = bin_path("avr-fwinfo");
    const std::string help =
        usage(program) +
        "\nTells what a PACK file or a HEX pair holds and whether it is fit to flash, without\n"
        "touching any device.\n"
        "\n"
        "  --json              the report as one JSON object\n"
        "  --expect-hwid TEXT  exit with 23 unless the firmware is for hardware TEXT\n"
        "  -h, --help          this help\n"
        "  --version           the version\n"
        "\n"
        "Exit status: 0 fit to flash; 1 wrong command line; 1-7, 10-13 the input does not load\n"
        "(as avr-fwupdate); 20 stamp mismatch; 21 flash checksum mismatch; 23\n"
        "firmware for other hardware. See avr-fwinfo(1).\n";
    const std::string version = "avr-fwinfo (okt32-service-tools) " OKT_PACKAGE_VERSION "\n";
    struct line_case {
        std::vector<std::string> args;
        const std::string &out;
    };
    const line_case cases[] = {
        {{"--help"}, help},
        {{"-h"}, help},
        {{"--json", "--expect-hwid", "OKT32-BB", "-h"}, help},
        {{"--help", "missing.pack"}, help}, // nothing is opened
        {{"--version"}, version},
        {{"--json", "--version", "a", "b"}, version},
    };
    for (const line_case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        run_result r = fwinfo(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, 0);
    }
}

TEST(FwinfoOptions, WrongCommandLineNamesTheProblemAndShowsUsage)
{
    const std::string program = bin_path("avr-fwinfo");
    struct line_case {
        std::vector<std::string> args;
        std::string problem; // the line before the usage, if any
    };
    const line_case cases[] = {
        {{}, ""},
        {{"--json"}, ""},
        {{"--expect-hwid", "OKT32-BB"}, ""},
        {{"a", "b", "c"}, ""},
        {{"--json", "a", "b", "c"}, ""},
        // Anything that begins with "-" is an option, never a file name.
        {{"-h2"}, "unknown option -h2"},
        {{"-"}, "unknown option -"},
        {{"--jsonx", "a.pack"}, "unknown option --jsonx"},
        {{"-x\x1b[2J", "a.pack"}, "unknown option -x\\x1b[2J"},
        {{"a.pack", "--json"}, "options go before the file names: --json"},
        {{"a.pack", "-h"}, "options go before the file names: -h"},
        {{"flash.hex", "-eeprom.hex"}, "options go before the file names: -eeprom.hex"},
        {{"--expect-hwid"}, "--expect-hwid needs the hardware identifier"},
        {{"--expect-hwid", "OKT32-BB9", "a.pack"},
         "the hardware identifier has at most 8 characters: OKT32-BB9"},
        {{"--expect-hwid", "A", "--expect-hwid", "B", "a.pack"}, "--expect-hwid given twice"},
    };
    for (const line_case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        run_result r = fwinfo(c.args);
        EXPECT_EQ(r.out,
                  (c.problem.empty() ? "" : program + ": " + c.problem + "\n") + usage(program));
        EXPECT_EQ(r.status, 1);
    }
}

// The identification record: letter, three digits, year, month, day, one free byte and the
// 8-byte hardware id.
std::string ident_with(char letter, const std::string &hardware_id)
{
    return std::string(1, letter) + std::string("\x01\x00\x03\x19\x06\x0e\x00", 7) + hardware_id;
}

const std::string CRAFTED_HWID("\x1b[2J\a\\\x9b\x00", 8);
const std::string CRAFTED_HWID_SHOWN = "\\x1b[2J\\x07\\x5c\\x9b\\x00";
const std::string CRAFTED_LINE = "New Firmware Data      : \\x1b103 Built on (DD.MM.YYYY) "
                                 "14.06.2025 for Hardware " +
                                 CRAFTED_HWID_SHOWN;

bool printable_lines(const std::string &text)
{
    for (char c : text)
        if (c != '\n' && (c < 0x20 || c > 0x7E))
            return false;
    return true;
}

TEST_F(Fwinfo, ControlBytesOfTheFileAreShownEscaped)
{
    const std::string flash = small_flash();
    const std::string eep = put("crafted.hex", ident_hex(ident_with('\x1b', CRAFTED_HWID)));
    // A file name can carry control bytes as well.
    const std::string pack_path = dir.file("crafted\x1b]0;owned\a.pack");
    ASSERT_EQ(run_program(bin_path("avr-fwupdate"), {"-pack2", pack_path, flash, eep}).status, 0);
    const std::string pack_shown = dir.path + "/crafted\\x1b]0;owned\\x07.pack";

    run_result text = fwinfo({"--expect-hwid", "OKT32-BB", pack_path});
    EXPECT_TRUE(printable_lines(text.out)) << text.out;
    const std::vector<std::string> lines = split_lines(text.out);
    ASSERT_EQ(lines.size(), 19u) << text.out;
    EXPECT_EQ(lines[1], "Input                  : PACK version 2 (binary images), " + pack_shown);
    EXPECT_EQ(lines[4], CRAFTED_LINE);
    EXPECT_EQ(lines[5], "Expected hardware      : OKT32-BB, MISMATCH");
    EXPECT_EQ(lines.back(), "HARDWARE MISMATCH: the firmware is for hardware " +
                                CRAFTED_HWID_SHOWN + ", not OKT32-BB");
    EXPECT_EQ(text.status, 23);

    // In JSON the shown form is a string of its own: each backslash is doubled in the source.
    run_result json = fwinfo({"--json", pack_path});
    EXPECT_TRUE(printable_lines(json.out)) << json.out;
    EXPECT_NE(json.out.find("    \"hardware_id\": \"\\\\x1b[2J\\\\x07\\\\x5c\\\\x9b\\\\x00\",\n"),
              std::string::npos)
        << json.out;
    json_value doc;
    std::string error;
    ASSERT_TRUE(parse_json(json.out, &doc, &error)) << error << "\n" << json.out;
    EXPECT_EQ(doc.at("input.file")->text, pack_shown);
    EXPECT_EQ(doc.at("new_firmware.line")->text, CRAFTED_LINE);
    EXPECT_EQ(doc.at("new_firmware.letter")->text, "\\x1b");
    EXPECT_EQ(doc.at("new_firmware.hardware_id")->text, CRAFTED_HWID_SHOWN);
    std::vector<long long> bytes;
    for (const json_value &b : doc.at("new_firmware.hardware_id_bytes")->items)
        bytes.push_back(b.number);
    EXPECT_EQ(bytes, (std::vector<long long>{0x1b, '[', '2', 'J', 7, '\\', 0x9b, 0}));
    EXPECT_EQ(json.status, 0);
}

TEST_F(Fwinfo, ExpectHwidComparesAsTheUpdaterAndDamageComesFirst)
{
    const std::string v3 = pack(3);
    // An id of three characters ends at a zero byte; what follows it is not compared.
    const std::string short_id =
        put("short.hex", ident_hex(ident_with('B', std::string("OKT\0junk", 8))));
    const std::string small = small_flash();
    const std::string stamp_damaged = stamp_damaged_pack();
    const std::string cksum_damaged = flash_cksum_damaged_pack();
    const std::string missing = dir.file("missing.pack");
    struct hwid_case {
        std::vector<std::string> files;
        std::string expected;
        int status;
        const char *verdict;
        const char *matches; // the JSON's hardware_check.matches
    };
    const hwid_case cases[] = {
        {{v3}, "OKT32-BB", 0, "ok_length_wrapped", "true"},
        {{v3}, "OKT32-BC", 23, "hardware_mismatch", "false"},
        {{v3}, "OKT32", 23, "hardware_mismatch", "false"}, // a prefix is another id
        {{v3}, "", 23, "hardware_mismatch", "false"},
        {{small, short_id}, "OKT", 0, "ok", "true"},
        {{small, short_id}, "OKT-junk", 23, "hardware_mismatch", "false"},
        // A damaged file reports its damage; its hardware id is not to be trusted.
        {{stamp_damaged}, "OKT32-XX", 20, "stamp_mismatch", "false"},
        {{cksum_damaged}, "OKT32-XX", 21, "flash_checksum_mismatch", "false"},
        {{missing}, "OKT32-XX", 3, "load_failed", "null"},
    };
    for (const hwid_case &c : cases) {
        SCOPED_TRACE(c.files.back() + " expecting " + c.expected);
        std::vector<std::string> args = {"--expect-hwid", c.expected};
        args.insert(args.end(), c.files.begin(), c.files.end());
        run_result text = fwinfo(args);
        EXPECT_EQ(text.status, c.status) << text.out;
        if (c.status == 23) {
            EXPECT_EQ(split_lines(text.out).back().rfind("HARDWARE MISMATCH: ", 0), 0u) << text.out;
        }

        // The options go in either order.
        std::vector<std::string> json_args = {"--json"};
        json_args.insert(json_args.end(), args.begin(), args.end());
        run_result json = fwinfo(json_args);
        std::vector<std::string> swapped = args;
        swapped.insert(swapped.begin() + 2, "--json");
        EXPECT_EQ(fwinfo(swapped).out, json.out);
        json_value doc;
        std::string error;
        ASSERT_TRUE(parse_json(json.out, &doc, &error)) << error << "\n" << json.out;
        EXPECT_EQ(json.status, c.status);
        EXPECT_EQ(doc.at("result.verdict")->text, c.verdict);
        EXPECT_EQ(doc.at("hardware_check.expected")->text, c.expected);
        const json_value *matches = doc.at("hardware_check.matches");
        EXPECT_EQ(matches->kind == json_value::NUL ? "null"
                  : matches->boolean               ? "true"
                                                   : "false",
                  std::string(c.matches));
    }
}

} // namespace
