// Debian's i2c-tools, run unchanged with the emulation preloaded, must print and exit exactly as
// they do on a board with the same EEPROMs: that is what makes the emulation a fair stand-in for
// the kernel's i2c-dev.
#include "sim_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

std::string tool(const std::string &name)
{
    return std::string(I2C_TOOLS_DIR) + "/" + name;
}

// The board's devices: CPU module and the two extension modules on bus 0, motherboard on bus 1.
class I2cTools : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (launcher_in_use())
            GTEST_SKIP() << "i2c-tools are host programs; a launcher runs another build's code";
        if (std::string(I2C_TOOLS_DIR).empty())
            GTEST_SKIP() << "i2c-tools are not installed";
        sim.add_device(0, 0x50);
        sim.add_device(0, 0x52);
        sim.add_device(0, 0x53);
        sim.add_device(1, 0x50);
    }

    run_result run(const std::string &name, const std::vector<std::string> &args)
    {
        return run_program(tool(name), args, sim.options());
    }

    i2c_sim sim;
};

struct tool_case {
    const char *label;
    const char *program;
    std::vector<std::string> args;
    std::vector<std::string> env; // knobs for this case
    const char *out;
    const char *err;
    int status;
};

const char NO_BUS_1[] =
    "Error: Could not open file `/dev/i2c-1' or `/dev/i2c/1': No such file or directory\n";
const char NO_BUS_2[] =
    "Error: Could not open file `/dev/i2c-2' or `/dev/i2c/2': No such file or directory\n";
const char NO_BYTE_DATA_SIZE[] = "No size specified (using byte-data access)\n";
const char SMBUS_ONLY_0[] = "I2CSIM_SMBUS_ONLY=0";

const tool_case TOOL_CASES[] = {
    {"get_present", "i2cget", {"-y", "0", "0x50", "0x10"}, {}, "0x10\n", "", 0},
    {"get_bus1", "i2cget", {"-y", "1", "0x50", "0x7f"}, {}, "0x7f\n", "", 0},
    {"get_absent", "i2cget", {"-y", "0", "0x51", "0x10"}, {}, "", "Error: Read failed\n", 2},
    {"get_nack_rule",
     "i2cget",
     {"-y", "0", "0x53", "0x00"},
     {"I2CSIM_FAULTS=nack:0:53"},
     "",
     "Error: Read failed\n",
     2},
    {"get_missing_bus",
     "i2cget",
     {"-y", "1", "0x50", "0x00"},
     {"I2CSIM_MISSING_BUSES=1"},
     "",
     NO_BUS_1,
     1},
    {"get_bus2_missing", "i2cget", {"-y", "2", "0x50", "0x00"}, {}, "", NO_BUS_2, 1},
    {"get_busy",
     "i2cget",
     {"-y", "0", "0x50", "0x10"},
     {"I2CSIM_FAULTS=busy:0:50"},
     "",
     "Error: Could not set address to 0x50: Device or resource busy\n",
     1},
    {"get_busy_forced",
     "i2cget",
     {"-f", "-y", "0", "0x50", "0x10"},
     {"I2CSIM_FAULTS=busy:0:50"},
     "0x10\n",
     "",
     0},
    {"get_below_read_fail",
     "i2cget",
     {"-y", "0", "0x50", "0x27"},
     {"I2CSIM_FAULTS=read-fail:0:50:40"},
     "0x27\n",
     "",
     0},
    {"get_at_read_fail",
     "i2cget",
     {"-y", "0", "0x50", "0x28"},
     {"I2CSIM_FAULTS=read-fail:0:50:40"},
     "",
     "Error: Read failed\n",
     2},
    {"get_word", "i2cget", {"-y", "0", "0x50", "0x10", "w"}, {}, "0x1110\n", "", 0},
    {"get_i2c_block_wraps",
     "i2cget",
     {"-y", "0", "0x50", "0xfe", "i", "4"},
     {},
     "0xfe 0xff 0x00 0x01\n",
     "",
     0},
    {"get_write_byte_read_byte", "i2cget", {"-y", "0", "0x50", "0x20", "c"}, {}, "0x20\n", "", 0},
    {"set_absent",
     "i2cset",
     {"-y", "0", "0x51", "0x10", "0x12"},
     {},
     "",
     "Error: Write failed\n",
     1},
    {"set_at_write_fail",
     "i2cset",
     {"-y", "0", "0x52", "0x0a", "0x12"},
     {"I2CSIM_FAULTS=write-fail:0:52:10"},
     "",
     "Error: Write failed\n",
     1},
    {"set_readback",
     "i2cset",
     {"-y", "-r", "0", "0x50", "0x10", "0x12"},
     {},
     "Value 0x12 written, readback matched\n",
     "",
     0},
    // The EEPROM ignores its address during the write cycle, so the immediate read-back fails.
    {"set_readback_in_write_cycle",
     "i2cset",
     {"-y", "-r", "0", "0x50", "0x10", "0x12"},
     {"I2CSIM_BUSY_US=60000000"},
     "Warning - readback failed\n",
     "",
     0},
    // A write-protected EEPROM acknowledges the byte but keeps its old one, which the
    // read-back shows.
    {"set_readback_write_protected",
     "i2cset",
     {"-y", "-r", "0", "0x50", "0x10", "0x12"},
     {"I2CSIM_FAULTS=write-protect:0:50"},
     "Warning - data mismatch - wrote 0x12, read back 0x10\n",
     "",
     0},
    {"set_word_readback_write_protected",
     "i2cset",
     {"-y", "-r", "0", "0x50", "0x10", "0x1234", "w"},
     {"I2CSIM_FAULTS=write-protect:0:50"},
     "Warning - data mismatch - wrote 0x1234, read back 0x1110\n",
     "",
     0},
    {"transfer_present",
     "i2ctransfer",
     {"-y", "0", "w1@0x50", "0x0e", "r4"},
     {},
     "0x0e 0x0f 0x10 0x11\n",
     "",
     0},
    {"transfer_absent",
     "i2ctransfer",
     {"-y", "0", "w1@0x51", "0x00", "r1"},
     {},
     "",
     "Error: Sending messages failed: No such device or address\n",
     1},
    // An SMBus-only controller: the tools use the SMBus transactions it reports and refuse, by
    // its functions, what it lacks.
    {"smbus_only_get", "i2cget", {"-y", "0", "0x50", "0x10"}, {SMBUS_ONLY_0}, "0x10\n", "", 0},
    {"smbus_only_get_block",
     "i2cget",
     {"-y", "0", "0x50", "0x04", "s"},
     {SMBUS_ONLY_0},
     "0x05 0x06 0x07 0x08\n",
     "",
     0},
    {"smbus_only_get_block_count_0",
     "i2cget",
     {"-y", "0", "0x50", "0x00", "s"},
     {SMBUS_ONLY_0},
     "",
     "Error: Read failed\n",
     2},
    {"smbus_only_get_i2c_block",
     "i2cget",
     {"-y", "0", "0x50", "0x10", "i", "4"},
     {SMBUS_ONLY_0},
     "",
     "Error: Adapter does not have I2C block read capability\n",
     1},
    {"smbus_only_set_readback",
     "i2cset",
     {"-y", "-r", "0", "0x50", "0x10", "0x12"},
     {SMBUS_ONLY_0},
     "Value 0x12 written, readback matched\n",
     "",
     0},
    {"smbus_only_set_i2c_block",
     "i2cset",
     {"-y", "0", "0x50", "0x10", "0x12", "0x34", "i"},
     {SMBUS_ONLY_0},
     "",
     "Error: Adapter does not have I2C block write capability\n",
     1},
    {"smbus_only_transfer",
     "i2ctransfer",
     {"-y", "0", "w2@0x50", "0x10", "0x12"},
     {SMBUS_ONLY_0},
     "",
     "Error: Adapter does not have I2C transfers capability\n",
     1},
    {"smbus_only_other_bus_transfers",
     "i2ctransfer",
     {"-y", "1", "w1@0x50", "0x0e", "r2"},
     {SMBUS_ONLY_0},
     "0x0e 0x0f\n",
     "",
     0},
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const tool_case &c, std::ostream *os)
{
    *os << c.label;
}

class I2cToolCases : public I2cTools, public ::testing::WithParamInterface<tool_case>
{
};

TEST_P(I2cToolCases, PrintsAndExitsAsOnTheBoard)
{
    const tool_case &c = GetParam();
    sim.env_extra = c.env;
    run_result r = run(c.program, c.args);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Tools, I2cToolCases, ::testing::ValuesIn(TOOL_CASES),
                         [](const ::testing::TestParamInfo<tool_case> &param_info) {
                             return std::string(param_info.param.label);
                         });

TEST_F(I2cTools, SetStoresTheByteInTheDeviceFileAndLogsEachCall)
{
    struct adapter {
        std::vector<std::string> env;
        const char *funcs_line;
    };
    const adapter adapters[] = {
        {{}, "funcs bus=0"},
        {{SMBUS_ONLY_0}, "funcs bus=0 smbus-only"},
    };
    for (const adapter &a : adapters) {
        SCOPED_TRACE(a.funcs_line);
        sim.add_device(0, 0x50);
        unlink(sim.log_path().c_str());
        sim.env_extra = a.env;
        run_result r = run("i2cset", {"-y", "0", "0x50", "0x10", "0xab"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected = counting_eeprom();
        expected[0x10] = static_cast<char>(0xab);
        EXPECT_EQ(sim.device(0, 0x50), expected);
        EXPECT_EQ(sim.log_lines(), (std::vector<std::string>{
                                       "open /dev/i2c-0 fd=#1",
                                       a.funcs_line,
                                       "slave bus=0 addr=50",
                                       "smbus bus=0 addr=50 write byte-data cmd=10 val=ab ok",
                                       "close fd=#1",
                                   }));
    }
}

TEST_F(I2cTools, WriteFailStoresNothingAtItsOffsetButOthersWork)
{
    sim.env_extra = {"I2CSIM_FAULTS=write-fail:0:52:10"};
    EXPECT_EQ(run("i2cset", {"-y", "0", "0x52", "10", "0x55"}).status, 1);
    EXPECT_EQ(run("i2cset", {"-y", "0", "0x52", "11", "0x66"}).status, 0);
    std::string expected = counting_eeprom();
    expected[11] = 0x66;
    EXPECT_EQ(sim.device(0, 0x52), expected);
}

TEST_F(I2cTools, WriteProtectedDeviceKeepsItsBytesAndOthersStillStore)
{
    sim.env_extra = {"I2CSIM_FAULTS=write-protect:0:50"};
    EXPECT_EQ(run("i2cset", {"-y", "0", "0x50", "0x10", "0xab"}).status, 0);
    EXPECT_EQ(run("i2cset", {"-y", "0", "0x52", "0x10", "0xab"}).status, 0);
    EXPECT_EQ(sim.device(0, 0x50), counting_eeprom());
    std::string expected = counting_eeprom();
    expected[0x10] = static_cast<char>(0xab);
    EXPECT_EQ(sim.device(0, 0x52), expected);
}

TEST_F(I2cTools, DumpShowsTheContentsAndXXForFailedReads)
{
    sim.env_extra = {"I2CSIM_FAULTS=read-fail:0:50:40"};
    run_result r = run("i2cdump", {"-y", "0", "0x50"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, NO_BYTE_DATA_SIZE);
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef");
    EXPECT_EQ(lines[2], "10: 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f    ????????????????");
    // Offsets from 40 (0x28) on fail.
    EXPECT_EQ(lines[3], "20: 20 21 22 23 24 25 26 27 XX XX XX XX XX XX XX XX     !\"#$%&'XXXXXXXX");
    EXPECT_EQ(lines[16], "f0: XX XX XX XX XX XX XX XX XX XX XX XX XX XX XX XX    XXXXXXXXXXXXXXXX");
}

TEST_F(I2cTools, DumpOfAnAbsentDeviceIsAllXX)
{
    run_result r = run("i2cdump", {"-y", "0", "0x51"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(lines.size(), 17u);
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].substr(4),
                  "XX XX XX XX XX XX XX XX XX XX XX XX XX XX XX XX    XXXXXXXXXXXXXXXX");
}

// i2cdetect shows present devices by address, "--" for silence and "UU" for addresses a kernel
// driver owns.
TEST_F(I2cTools, DetectSeesPresentNackingAndClaimedAddresses)
{
    sim.env_extra = {"I2CSIM_FAULTS=nack:0:53;busy:0:52"};
    run_result r = run("i2cdetect", {"-y", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[6], "50: 50 -- UU -- -- -- -- -- -- -- -- -- -- -- -- -- ");
    EXPECT_EQ(lines[3], "20: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- ");
}

// A plain I2C adapter with the kernel's SMBus emulation, or an SMBus-only controller like PIIX4.
TEST_F(I2cTools, FunctionalityIsThatOfThePlainOrTheSmbusOnlyAdapter)
{
    struct adapter {
        std::vector<std::string> env;
        const char *out;
    };
    const adapter adapters[] = {
        {{},
         "Functionalities implemented by /dev/i2c-0:\n"
         "I2C                              yes\n"
         "SMBus Quick Command              yes\n"
         "SMBus Send Byte                  yes\n"
         "SMBus Receive Byte               yes\n"
         "SMBus Write Byte                 yes\n"
         "SMBus Read Byte                  yes\n"
         "SMBus Write Word                 yes\n"
         "SMBus Read Word                  yes\n"
         "SMBus Process Call               yes\n"
         "SMBus Block Write                yes\n"
         "SMBus Block Read                 no\n"
         "SMBus Block Process Call         no\n"
         "SMBus PEC                        no\n"
         "I2C Block Write                  yes\n"
         "I2C Block Read                   yes\n"},
        {{SMBUS_ONLY_0},
         "Functionalities implemented by /dev/i2c-0:\n"
         "I2C                              no\n"
         "SMBus Quick Command              yes\n"
         "SMBus Send Byte                  yes\n"
         "SMBus Receive Byte               yes\n"
         "SMBus Write Byte                 yes\n"
         "SMBus Read Byte                  yes\n"
         "SMBus Write Word                 yes\n"
         "SMBus Read Word                  yes\n"
         "SMBus Process Call               no\n"
         "SMBus Block Write                yes\n"
         "SMBus Block Read                 yes\n"
         "SMBus Block Process Call         no\n"
         "SMBus PEC                        no\n"
         "I2C Block Write                  no\n"
         "I2C Block Read                   no\n"},
    };
    for (const adapter &a : adapters) {
        SCOPED_TRACE(a.env.empty() ? "plain I2C" : "SMBus only");
        sim.env_extra = a.env;
        run_result r = run("i2cdetect", {"-F", "0"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, a.out);
    }
}

TEST_F(I2cTools, WithoutTheDirectoryTheRealDevicesAreUsed)
{
    if (access("/dev/i2c-0", F_OK) == 0)
        GTEST_SKIP() << "this machine has a real /dev/i2c-0";
    run_options opts;
    opts.stdin_from_null = true;
    opts.env = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"), "I2CSIM_LOG=" + sim.log_path()};
    run_result r = run_program(tool("i2cget"), {"-y", "0", "0x50", "0x10"}, opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: Could not open file `/dev/i2c-0' or `/dev/i2c/0': No such file or "
                     "directory\n");
    EXPECT_EQ(read_file(sim.log_path()), "");
}

} // namespace
