// okt32-tools, the board's one program, started as a user starts it under each of its names:
// it acts as the program of that name byte for byte (output, exit status, files written), with
// argv[0] as typed; under any other name it prints the names it answers to and exits with 1.
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

const char REFUSAL[] =
    "okt32-tools: run as one of: avr-fwupdate okt-eepromtool avr-fwinfo okt-idrec\n";

class okt32_tools : public ::testing::Test
{
  protected:
    temp_dir dir;

    // <dir>/<folder>/<name> as a link to `program`; returns the folder.
    std::string link_as(const std::string &program, const std::string &folder,
                        const std::string &name)
    {
        std::string path = dir.path;
        for (size_t at = 0; at != std::string::npos;) {
            size_t slash = folder.find('/', at);
            path += "/" + folder.substr(at, slash == std::string::npos ? slash : slash - at);
            mkdir(path.c_str(), 0755);
            at = slash == std::string::npos ? slash : slash + 1;
        }
        EXPECT_EQ(symlink(program.c_str(), (path + "/" + name).c_str()), 0) << path;
        return path;
    }

    // Starts `program` as "./x/<name>" from <dir>/<folder>, so that two programs started this
    // way from two folders see the same argv[0] and write their files to their own folder.
    run_result run_as(const std::string &program, const std::string &folder,
                      const std::string &name, const std::vector<std::string> &args)
    {
        run_options o;
        o.dir = link_as(program, folder + "/x", name);
        o.dir.resize(o.dir.size() - 2);
        o.stdin_from_null = true;
        return run_program("./x/" + name, args, o);
    }
};

TEST_F(okt32_tools, UnderEachNameActsAsThatProgram)
{
    const std::string flash = source_path("tests/fixtures/avr/flash.hex");
    const std::string eeprom = source_path("tests/fixtures/avr/eeprom.hex");
    struct named_case {
        std::string name;
        std::vector<std::string> args;
        int status;
        std::string written; // a file the run writes into its folder, or ""
    };
    const named_case cases[] = {
        {"avr-fwupdate", {}, 1, ""}, // the usage names ./x/avr-fwupdate
        {"avr-fwupdate", {"-pack3", "out.pack", flash, eeprom}, 0, "out.pack"},
        {"avr-fwupdate", {"-pack1", "out.pack", flash, "missing.hex"}, 254, ""},
        {"okt-eepromtool", {"bogus"}, 2, ""},
        {"avr-fwinfo", {}, 1, ""},
        {"avr-fwinfo", {"--json", flash, eeprom}, 0, ""},
        {"avr-fwinfo", {"--expect-hwid", "OTHER", flash, eeprom}, 23, ""},
        {"okt-idrec", {}, 1, ""},
        {"okt-idrec",
         {"make", "x1.rec", "--serial", "X1-2025-01234", "--manuf-date", "29.02.24-12:00"},
         0,
         "x1.rec"},
        {"okt-idrec", {"make", "x1.rec", "--manuf-date", "29.02.25-12:00"}, 2, ""},
        {"okt-idrec", {"show", "--json", flash}, 3, ""}, // a file of another size
    };
    int n = 0;
    for (const named_case &c : cases) {
        SCOPED_TRACE(c.name + " " + testing::PrintToString(c.args));
        std::string single = "single" + std::to_string(n), multi = "multi" + std::to_string(n);
        ++n;
        run_result want = run_as(bin_path(c.name), single, c.name, c.args);
        run_result got = run_as(bin_path("okt32-tools"), multi, c.name, c.args);
        EXPECT_EQ(want.status, c.status) << want.out << want.err;
        EXPECT_FALSE(want.out.empty() && want.err.empty());
        EXPECT_EQ(got.out, want.out);
        EXPECT_EQ(got.err, want.err);
        EXPECT_EQ(got.status, want.status);
        if (!c.written.empty()) {
            std::string bytes = read_file(dir.file(single + "/" + c.written));
            EXPECT_FALSE(bytes.empty());
            EXPECT_EQ(read_file(dir.file(multi + "/" + c.written)), bytes);
        }
    }
}

TEST_F(okt32_tools, TheNameIsTheLastComponentOfAnyPath)
{
    const std::string version = "avr-fwinfo (okt32-service-tools) " OKT_PACKAGE_VERSION "\n";
    std::string bin = link_as(bin_path("okt32-tools"), "usr/bin", "avr-fwinfo");
    run_result r = run_program(bin + "/avr-fwinfo", {"--version"});
    EXPECT_EQ(r.out, version);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    // A folder of a program's name does not make its file that program.
    std::string folder = link_as(bin_path("okt32-tools"), "avr-fwinfo", "okt32-tools");
    r = run_program(folder + "/okt32-tools", {"--version"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, REFUSAL);
    EXPECT_EQ(r.status, 1);
}

TEST_F(okt32_tools, AnyOtherNameIsRefused)
{
    // Only a whole name counts, in its case.
    const char *names[] = {"okt32-tools",     "avr-fwupdate.old", "Avr-fwinfo", "fwinfo",
                           "okt-eepromtool-", "okt-idrec2",       "x"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        run_result r = run_as(bin_path("okt32-tools"), name, name, {"--help"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, REFUSAL);
        EXPECT_EQ(r.status, 1);
    }
}

} // namespace
