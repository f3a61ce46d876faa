#include "cmdline.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

struct decoded {
    cmdline_result result;
    command_line args;
    // The decoded fields point into the argument strings: they live as long as the result.
    std::unique_ptr<std::vector<std::string>> words;
};

decoded decode(std::vector<std::string> words)
{
    decoded d;
    d.words = std::make_unique<std::vector<std::string>>(std::move(words));
    d.words->insert(d.words->begin(), "avr-fwupdate");
    std::vector<char *> argv;
    for (std::string &w : *d.words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    d.result = decode_command_line(static_cast<int>(d.words->size()), argv.data(), &d.args);
    return d;
}

std::string str(const char *s)
{
    return s ? s : "(null)";
}

struct mode_case {
    std::vector<std::string> words;
    run_mode mode;
    int verbosity;
    const char *pack_file;
    const char *data_file;
    const char *eep_file;
};

TEST(UpdaterCommandLine, FormsSelectModeVerbosityAndFiles)
{
    const mode_case cases[] = {
        {{"/dev/ttyS1", "115200", "fw.pack"}, MODE_UPDATE_PACK, 0, "fw.pack", nullptr, nullptr},
        {{"/dev/ttyS1", "115200", "-v", "fw.pack"},
         MODE_UPDATE_PACK,
         1,
         "fw.pack",
         nullptr,
         nullptr},
        {{"/dev/ttyS1", "115200", "-vv", "fw.pack"},
         MODE_UPDATE_PACK,
         2,
         "fw.pack",
         nullptr,
         nullptr},
        {{"/dev/ttyS1", "115200", "-vvv", "fw.pack"},
         MODE_UPDATE_PACK,
         2,
         "fw.pack",
         nullptr,
         nullptr},
        {{"/dev/ttyS1", "115200", "-verbose", "fw.pack"},
         MODE_UPDATE_PACK,
         1,
         "fw.pack",
         nullptr,
         nullptr},
        {{"/dev/ttyS1", "115200", "d.hex", "e.hex"}, MODE_UPDATE_HEX, 0, nullptr, "d.hex", "e.hex"},
        {{"/dev/ttyS1", "115200", "-v", "d.hex", "e.hex"},
         MODE_UPDATE_HEX,
         1,
         nullptr,
         "d.hex",
         "e.hex"},
        {{"/dev/ttyS1", "115200", "-vv", "d.hex", "e.hex"},
         MODE_UPDATE_HEX,
         2,
         nullptr,
         "d.hex",
         "e.hex"},
        {{"/dev/ttyS1", "115200", "quiet", "d.hex", "e.hex"},
         MODE_UPDATE_HEX,
         0,
         nullptr,
         "d.hex",
         "e.hex"},
        {{"-pack1", "out.pack", "d.hex", "e.hex"}, MODE_PACK_V1, 0, "out.pack", "d.hex", "e.hex"},
        {{"-pack2", "out.pack", "d.hex", "e.hex"}, MODE_PACK_V2, 0, "out.pack", "d.hex", "e.hex"},
        {{"-pack3", "out.pack", "d.hex", "e.hex"}, MODE_PACK_V3, 0, "out.pack", "d.hex", "e.hex"},
        {{"-pack", "out.pack", "d.hex", "e.hex"}, MODE_PACK_V3, 0, "out.pack", "d.hex", "e.hex"},
        {{"-packX", "out.pack", "d.hex", "e.hex"}, MODE_PACK_V3, 0, "out.pack", "d.hex", "e.hex"},
        {{"-pack1x", "out.pack", "d.hex", "e.hex"}, MODE_PACK_V1, 0, "out.pack", "d.hex", "e.hex"},
    };
    for (const mode_case &c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.words[1] + " " + c.words[2]);
        decoded d = decode(c.words);
        ASSERT_EQ(d.result, CMDLINE_OK);
        EXPECT_EQ(d.args.mode, c.mode);
        EXPECT_EQ(d.args.verbosity, c.verbosity);
        EXPECT_EQ(str(d.args.pack_file), str(c.pack_file));
        EXPECT_EQ(str(d.args.data_file), str(c.data_file));
        EXPECT_EQ(str(d.args.eep_file), str(c.eep_file));
    }
}

TEST(UpdaterCommandLine, BaudTableWithStrtolConversion)
{
    struct baud_case {
        const char *arg;
        cmdline_result result;
        long converted;
        speed_t speed;
    };
    const baud_case cases[] = {
        {"9600", CMDLINE_OK, 9600, B9600},       {"19200", CMDLINE_OK, 19200, B19200},
        {"38400", CMDLINE_OK, 38400, B38400},    {"57600", CMDLINE_OK, 57600, B57600},
        {"115200", CMDLINE_OK, 115200, B115200}, {"115200x", CMDLINE_OK, 115200, B115200},
        {" 9600", CMDLINE_OK, 9600, B9600},      {"fast", CMDLINE_BAD_BAUD, 0, 0},
        {"0", CMDLINE_BAD_BAUD, 0, 0},           {"-9600", CMDLINE_BAD_BAUD, -9600, 0},
        {"4800", CMDLINE_BAD_BAUD, 4800, 0},     {"230400", CMDLINE_BAD_BAUD, 230400, 0},
        {"0x2580", CMDLINE_BAD_BAUD, 0, 0},
    };
    for (const baud_case &c : cases) {
        SCOPED_TRACE(c.arg);
        decoded d = decode({"/dev/ttyS1", c.arg, "fw.pack"});
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.args.baud, c.converted);
        if (c.result == CMDLINE_OK) {
            EXPECT_EQ(d.args.speed, c.speed);
            EXPECT_EQ(str(d.args.devnode), "/dev/ttyS1");
        }
    }
}

TEST(UpdaterCommandLine, UsageForWrongCountsAndALoneVerbosityOption)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"/dev/ttyS1"},
        {"/dev/ttyS1", "115200"},
        {"/dev/ttyS1", "115200", "-v"},
        {"/dev/ttyS1", "115200", "-vv"},
        {"/dev/ttyS1", "115200", "-v", "a", "b", "c"},
        // A pack option with the wrong number of arguments is no pack mode; too few for an update.
        {"-pack1", "out.pack"},
    };
    for (const auto &words : cases) {
        SCOPED_TRACE(testing::PrintToString(words));
        EXPECT_EQ(decode(words).result, CMDLINE_USAGE);
    }
}

TEST(UpdaterCommandLine, BaudIsCheckedBeforeALoneVerbosityOptionIsRefused)
{
    for (const char *option : {"-v", "-vv"}) {
        SCOPED_TRACE(option);
        decoded d = decode({"/dev/x", "fast", option});
        EXPECT_EQ(d.result, CMDLINE_BAD_BAUD);
        EXPECT_EQ(d.args.baud, 0);
    }
}

TEST(UpdaterCommandLine, PackOptionWithWrongCountIsAnUpdateLine)
{
    // Two more arguments: device -pack1, baud "out.pack" -> 0, rejected by the baud check.
    decoded d = decode({"-pack1", "out.pack", "d.hex"});
    EXPECT_EQ(d.result, CMDLINE_BAD_BAUD);
    EXPECT_EQ(d.args.baud, 0);
    // Four more: five arguments, an update line whose device node is -pack1.
    d = decode({"-pack1", "115200", "x", "d.hex", "e.hex"});
    ASSERT_EQ(d.result, CMDLINE_OK);
    EXPECT_EQ(d.args.mode, MODE_UPDATE_HEX);
    EXPECT_EQ(str(d.args.devnode), "-pack1");
}

TEST(UpdaterCommandLine, FourArgumentsWithoutPackPrefixFormAnUpdateLine)
{
    // Four arguments whose first is not a pack option form an update line.
    decoded d = decode({"-pac", "115200", "d.hex", "e.hex"});
    ASSERT_EQ(d.result, CMDLINE_OK);
    EXPECT_EQ(d.args.mode, MODE_UPDATE_HEX);
}

} // namespace
