// okt-idrec's command line: what it refuses before touching any file or bus, --help and
// --version.
#include "idrec_test_support.h"

namespace
{

TEST_F(idrec, AWrongCommandLineShowsTheUsageAndDoesNothing)
{
    struct args_case {
        std::vector<std::string> args;
        std::string problem;
    };
    const args_case cases[] = {
        {{}, "a command must be given"},
        {{"dump"}, "unknown command dump"},
        {{"show"}, "show needs one or more record files"},
        {{"make"}, "make needs exactly one output file"},
        {{"make", "a", "b"}, "make needs exactly one output file"},
        {{"read"}, "read needs exactly one module: cpu, bb, ext0, ext1 or all"},
        {{"read", "cpu", "bb"}, "read needs exactly one module: cpu, bb, ext0, ext1 or all"},
        {{"write", "ext0"}, "write needs a module (cpu, bb, ext0, ext1) and a record file"},
        {{"show", "--serial", "x", "a.rec"}, "this command has no option --serial"},
        {{"read", "all", "--force"}, "this command has no option --force"},
        {{"make", "o.rec", "--serial"}, "a value must follow --serial"},
        {{"make", "o.rec", "--serial", "a", "--serial", "b"}, "given twice: --serial"},
        {{"show", "--jsn", "a.rec"}, "unknown option --jsn"},
        {{"show", "--json=yes", "a.rec"}, "unknown option --json=yes"},
        {{"make", "o.rec", "--from", "a", "--json-in", "b"},
         "--from and --json-in exclude each other"},
        {{"write", "ext0", "r.rec", "--force", "--expect-blank"},
         "--expect-blank, --expect-serial and --force exclude each other"},
        {{"write", "ext0", "r.rec", "--expect-serial", "A", "--expect-blank"},
         "--expect-blank, --expect-serial and --force exclude each other"},
        {{"show", "\x1b[2J"}, ""}, // an operand: the file is missing
    };
    const std::string usage = "usage: okt-idrec show FILE... [--json]\n";
    for (const args_case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        run_result r = run(c.args);
        if (c.problem.empty()) {
            EXPECT_EQ(r.err, "okt-idrec: \\x1b[2J: cannot read: No such file or directory\n");
            EXPECT_EQ(r.status, 3);
            continue;
        }
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1 + usage.size()),
                  "okt-idrec: " + c.problem + "\n" + usage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(log(), "");
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{});
}

TEST_F(idrec, OperandsAfterTwoDashesAreNoOptions)
{
    run_result r = run({"show", "-odd.rec"});
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "okt-idrec: unknown option -odd.rec");
    EXPECT_EQ(r.status, 1);
    r = run({"show", "--json", "--", "-odd.rec", "--json"});
    EXPECT_EQ(r.err, "okt-idrec: -odd.rec: cannot read: No such file or directory\n"
                     "okt-idrec: --json: cannot read: No such file or directory\n");
    EXPECT_EQ(r.status, 3);
}

TEST_F(idrec, HelpAndVersion)
{
    run_result help = run({"--help"});
    EXPECT_EQ(help.out.find("usage: okt-idrec show FILE... [--json]\n"), 0u);
    EXPECT_NE(help.out.find("Exit status: 0 done; 1 wrong command line; 2 invalid input; 3 file "
                            "error;\n4 device error; 5 refused by a guard of write; 6 write or "
                            "verify failed.\n"),
              std::string::npos);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(run({"write", "ext0", "x", "-h"}).out, help.out);
    run_result version = run({"--version"});
    EXPECT_EQ(version.out,
              std::string("okt-idrec (okt32-service-tools) ") + OKT_PACKAGE_VERSION + "\n");
    EXPECT_EQ(version.status, 0);
}

} // namespace
