// The updater's command line as a user meets it: complete output and exit status.
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const std::string BANNER = "OKT32 Baseboard AVR Firmware update tool 0.43\n"
                           "For service use on OKT32 baseboards only; interrupting an update "
                           "leaves the AVR in its boot loader.\n"
                           "\n";

// A flash file with two bytes and an EEPROM file with the 16-byte identification record.
const std::string FLASH_HEX = ":020000000102FB\n:00000001FF\n";
const std::string EEPROM_HEX = ":1000000041010203180C01004F4B5433322D424280\n:00000001FF\n";

struct Updater : testing::Test {
    temp_dir dir;
    std::string flash = dir.file("flash.hex");
    std::string eeprom = dir.file("eeprom.hex");
    std::string missing = dir.file("missing");

    void SetUp() override
    {
        write_file(flash, FLASH_HEX);
        write_file(eeprom, EEPROM_HEX);
    }

    run_result run(const std::vector<std::string> &args)
    {
        return run_program(bin_path("avr-fwupdate"), args);
    }
};

TEST_F(Updater, UsageForWrongArgumentCounts)
{
    const std::string program = bin_path("avr-fwupdate");
    const std::string usage = "usage: " + program + " <devnode> <baud> [-v[v]] <packfile>\n";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"/dev/ttyS1", "115200"},
        {"/dev/ttyS1", "115200", "-v", "a", "b", "c"},
        {"/dev/ttyS1", "115200", "-v"},
        {"/dev/ttyS1", "115200", "-vv"},
    };
    for (const auto &args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        run_result r = run(args);
        EXPECT_EQ(r.out, BANNER + usage);
        EXPECT_EQ(r.status, 1);
    }
}

TEST_F(Updater, BaudCheckComesBeforeAnyFileOrPort)
{
    struct baud_case {
        std::string baud;
        std::string shown;
    };
    const baud_case cases[] = {{"fast", "0"}, {"0", "0"}, {"-115200", "-115200"}, {"4800", "4800"}};
    for (const baud_case &c : cases) {
        SCOPED_TRACE(c.baud);
        // Neither the device nor the files exist: the baud message must come first, also on a
        // line that names no file at all.
        for (const auto &args : {std::vector<std::string>{missing, c.baud, missing},
                                 std::vector<std::string>{missing, c.baud, "-v", missing, missing},
                                 std::vector<std::string>{missing, c.baud, "-v"},
                                 std::vector<std::string>{missing, c.baud, "-vv"}}) {
            run_result r = run(args);
            EXPECT_EQ(r.out, BANNER + "unsupported baudrate " + c.shown + "\n");
            EXPECT_EQ(r.status, 3);
        }
    }
}

TEST_F(Updater, VerboseLineNamesPortBaudLevelAndFiles)
{
    struct verbose_case {
        std::vector<std::string> args;
        std::string line;
    };
    const verbose_case cases[] = {
        {{missing, "115200x", "-v", missing},
         "port '" + missing + "' baud 115200 verbose 1 packfile " + missing + "\n"},
        {{missing, "9600", "-vvv", missing},
         "port '" + missing + "' baud 9600 verbose 2 packfile " + missing + "\n"},
        {{missing, "57600", "-verbose", missing, missing},
         "port '" + missing + "' baud 57600 verbose 1 datafile " + missing + " eepromfile " +
             missing + "\n"},
    };
    for (const verbose_case &c : cases) {
        SCOPED_TRACE(c.line);
        run_result r = run(c.args);
        EXPECT_EQ(r.out.substr(0, BANNER.size() + c.line.size()), BANNER + c.line);
    }
}

TEST_F(Updater, QuietRunsPrintNothingOfTheirOwnBeforeLoading)
{
    // Five arguments whose third is no option: HEX pair at verbosity 0, the third ignored.
    run_result r = run({missing, "115200", "quiet", missing, eeprom});
    EXPECT_EQ(r.out, BANNER + "cannot open firmware file '" + missing + "'\n" +
                         "file open/stat/read error in '" + missing + "' 1\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Updater, PackFileThatCannotBeOpenedOrIsShort)
{
    run_result r = run({missing, "115200", missing});
    EXPECT_EQ(r.out, BANNER + "file open/stat/read error " + missing + "\n");
    EXPECT_EQ(r.status, 3);

    std::string short_pack = dir.file("short.pack");
    write_file(short_pack, std::string(31, '\0'));
    r = run({missing, "115200", short_pack});
    EXPECT_EQ(r.out, BANNER + "cannot read pack head\n");
    EXPECT_EQ(r.status, 10);
}

TEST_F(Updater, LoadingFailureExitsBeforeThePort)
{
    // The device does not exist either: a loading failure must end the run first.
    run_result r = run({missing, "115200", flash, missing});
    EXPECT_EQ(r.out, BANNER + "cannot open firmware file '" + missing + "'\n" +
                         "file open/stat/read error in '" + missing + "'\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Updater, PortThatCannotBeOpened)
{
    run_result r = run({missing, "115200", flash, eeprom});
    EXPECT_EQ(r.out, BANNER + "cannot open comm port '" + missing + "'\n");
    EXPECT_EQ(r.status, 2);
}

TEST_F(Updater, PortThatIsNoTerminalCannotBeConfigured)
{
    // A regular file opens read-write but takes no terminal settings.
    std::string not_a_tty = dir.file("not-a-tty");
    write_file(not_a_tty, "");
    run_result r = run({not_a_tty, "115200", "-v", flash, eeprom});
    EXPECT_EQ(r.out, BANNER + "port '" + not_a_tty + "' baud 115200 verbose 1 datafile " + flash +
                         " eepromfile " + eeprom + "\n" + "cannot set baud rate!\n");
    EXPECT_EQ(r.status, 4);
}

TEST_F(Updater, PackOptionSelectsThePackerOnlyWithFourArguments)
{
    std::string out = dir.file("out.pack");
    run_result r = run({"-packX", out, flash, eeprom});
    EXPECT_EQ(r.out.substr(0, BANNER.size() + 28), BANNER + "Packing firmware files (V3)\n");
    EXPECT_EQ(r.status, 0);

    // -pack1 with two more arguments is an update line with device -pack1 and baud 0.
    r = run({"-pack1", out, flash});
    EXPECT_EQ(r.out, BANNER + "unsupported baudrate 0\n");
    EXPECT_EQ(r.status, 3);
}

} // namespace
