// Each call the emulation takes over, made directly by a small client with the emulation
// preloaded: the EEPROM model, every fault knob, the error codes and the log.
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

using lines = std::vector<std::string>;

class Client : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        sim.add_device(0, 0x50);
        sim.add_device(0, 0x52);
        sim.add_device(1, 0x50);
    }

    // Opens bus 0, selects addr and runs the steps.
    lines on_device(const std::string &addr, const lines &steps)
    {
        lines args = {"open", "/dev/i2c-0", "slave", addr};
        args.insert(args.end(), steps.begin(), steps.end());
        lines out = run_client(sim, args);
        // Drop the open and slave results so cases show only their own steps.
        return out.size() >= 2 ? lines(out.begin() + 2, out.end()) : out;
    }

    i2c_sim sim;
};

TEST_F(Client, PlainWriteSetsThePointerAndStoresTheFollowingBytes)
{
    EXPECT_EQ(on_device("50", {"write", "10,aa,bb", "read", "2", "write", "10", "read", "3"}),
              (lines{"write=3", "read=2 12 13", "write=1", "read=3 aa bb 12"}));
    std::string expected = counting_eeprom();
    expected[0x10] = static_cast<char>(0xaa);
    expected[0x11] = static_cast<char>(0xbb);
    EXPECT_EQ(sim.device(0, 0x50), expected);
}

TEST_F(Client, PageWriteWrapsInsideItsSixteenBytePage)
{
    EXPECT_EQ(on_device("50", {"write", "1e,a1,a2,a3,a4"}), (lines{"write=5"}));
    std::string expected = counting_eeprom();
    expected[0x1e] = static_cast<char>(0xa1);
    expected[0x1f] = static_cast<char>(0xa2);
    expected[0x10] = static_cast<char>(0xa3);
    expected[0x11] = static_cast<char>(0xa4);
    EXPECT_EQ(sim.device(0, 0x50), expected);
}

TEST_F(Client, SequentialReadWrapsAtTheEndOfMemory)
{
    EXPECT_EQ(on_device("50", {"write", "fe", "read", "4", "read", "1"}),
              (lines{"write=1", "read=4 fe ff 00 01", "read=1 02"}));
}

TEST_F(Client, OffsetsWrapModuloASmallerDevice)
{
    sim.add_device(0, 0x54, std::string("\x11\x22\x33\x44", 4));
    EXPECT_EQ(on_device("54", {"rb", "05", "wb", "06", "99", "rb", "02"}),
              (lines{"rb=22", "wb=00", "rb=99"}));
}

// Each SMBus size becomes the messages the kernel's emulation sends.
TEST_F(Client, SmbusTransactions)
{
    EXPECT_EQ(on_device("50", {"rb",      "33", "rbyte", "wbyte",  "40", "rbyte", "rw", "10",
                               "ww",      "20", "beef",  "rb",     "20", "rb",    "21", "rblock",
                               "fe",      "3",  "quick", "wblock", "30", "01,02", "rb", "31",
                               "wsblock", "40", "07,08", "rb",     "40", "rb",    "41"}),
              (lines{"rb=33", "rbyte=34", "wbyte=00", "rbyte=40", "rw=1110", "ww=00", "rb=ef",
                     "rb=be", "rblock=3 fe ff 00", "quick=00", "wblock=00", "rb=02", "wsblock=00",
                     "rb=02", "rb=07"}));
}

TEST_F(Client, SmbusBlockReadIsNotOffered)
{
    EXPECT_EQ(on_device("50", {"rsblock", "00", "funcs"}),
              (lines{"rsblock=-1 EOPNOTSUPP", "funcs=0eff0001"}));
}

// An SMBus-only controller (I2CSIM_SMBUS_ONLY), as the kernel drives one: no plain messages, no
// combined transfers, no I2C block transfers (EOPNOTSUPP, nothing reaches the device); the
// SMBus transactions work as on the plain adapter, and an SMBus block read takes its count from
// the device. Bus 1 stays a plain adapter.
TEST_F(Client, SmbusOnlyBusRefusesWhatItsControllerLacks)
{
    sim.env_extra = {"I2CSIM_SMBUS_ONLY=0"};
    EXPECT_EQ(on_device("50", {"funcs", "write",   "10,aa", "read",  "1",       "rblock", "00",
                               "4",     "wblock",  "10",    "01,02", "rdwr",    "50",     "0e",
                               "3",     "wb",      "10",    "aa",    "rb",      "10",     "rw",
                               "10",    "wsblock", "20",    "07,08", "rsblock", "20",     "rsblock",
                               "00",    "quick",   "wbyte", "30",    "rbyte"}),
              (lines{"funcs=037f0000", "write=-1 EOPNOTSUPP", "read=-1 EOPNOTSUPP",
                     "rblock=-1 EOPNOTSUPP", "wblock=-1 EOPNOTSUPP", "rdwr=-1 EOPNOTSUPP", "wb=00",
                     "rb=aa", "rw=11aa", "wsblock=00", "rsblock=02", "rsblock=-1 Protocol error",
                     "quick=00", "wbyte=00", "rbyte=30"}));
    std::string expected = counting_eeprom();
    expected[0x10] = static_cast<char>(0xaa);
    expected.replace(0x20, 3, "\x02\x07\x08", 3); // the count byte of a block write is data
    EXPECT_EQ(sim.device(0, 0x50), expected);
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-1", "funcs", "slave", "50", "write", "10,bb"}),
              (lines{"open=#1", "funcs=0eff0001", "slave=0", "write=2"}));

    lines log = sim.log_lines();
    ASSERT_GE(log.size(), 9u);
    EXPECT_EQ(lines(log.begin(), log.begin() + 9),
              (lines{
                  "open /dev/i2c-0 fd=#1",
                  "slave bus=0 addr=50",
                  "funcs bus=0 smbus-only",
                  "write bus=0 addr=50 len=2 data=10 aa unsupported",
                  "read bus=0 addr=50 len=1 unsupported",
                  "smbus bus=0 addr=50 read i2c-block-data cmd=00 unsupported",
                  "smbus bus=0 addr=50 write i2c-block-data cmd=10 unsupported",
                  "rdwr bus=0 msgs=2 unsupported",
                  "smbus bus=0 addr=50 write byte-data cmd=10 val=aa ok",
              }));
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "smbus bus=0 addr=50 read block-data cmd=20 len=2 -> 07 08 ok"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "smbus bus=0 addr=50 read block-data cmd=00 len=0 bad-count"),
              log.end());
}

TEST_F(Client, CombinedTransferAddressesEachMessage)
{
    EXPECT_EQ(
        run_client(sim, {"open", "/dev/i2c-0", "rdwr", "50", "0e", "3", "rdwr", "51", "00", "1"}),
        (lines{"open=#1", "rdwr=2 0e 0f 10", "rdwr=-1 ENXIO"}));
}

TEST_F(Client, AbsentDeviceFailsEveryTransferWithEnxio)
{
    EXPECT_EQ(on_device("51", {"write", "00,12", "read", "1", "rb", "00", "wb", "00", "12", "quick",
                               "rbyte"}),
              (lines{"write=-1 ENXIO", "read=-1 ENXIO", "rb=-1 ENXIO", "wb=-1 ENXIO",
                     "quick=-1 ENXIO", "rbyte=-1 ENXIO"}));
}

TEST_F(Client, NackRuleSilencesAPresentDevice)
{
    sim.add_device(0, 0x53);
    sim.env_extra = {"I2CSIM_FAULTS=nack:0:53"};
    EXPECT_EQ(on_device("53", {"quick", "rb", "00", "write", "00,12"}),
              (lines{"quick=-1 ENXIO", "rb=-1 ENXIO", "write=-1 ENXIO"}));
    EXPECT_EQ(sim.device(0, 0x53), counting_eeprom());
}

TEST_F(Client, ReadFailBreaksReadsFromItsOffsetOn)
{
    sim.env_extra = {"I2CSIM_FAULTS=read-fail:0:50:40"};
    EXPECT_EQ(on_device("50", {"rb", "27", "rb", "28", "rb", "ff", "write", "26", "read", "2",
                               "read", "3", "read", "1"}),
              (lines{"rb=27", "rb=-1 EIO", "rb=-1 EIO", "write=1", "read=2 26 27", "read=-1 EIO",
                     "read=-1 EIO"}));
}

TEST_F(Client, WriteFailRefusesOnlyWritesThatStoreAtItsOffset)
{
    sim.env_extra = {"I2CSIM_FAULTS=write-fail:0:52:10"};
    EXPECT_EQ(on_device("52", {"write", "0a,55", "write", "08,61,62,63", "write", "09,66", "write",
                               "0b,77", "write", "0a", "read", "1", "wb", "0a", "55"}),
              (lines{"write=-1 EIO", "write=-1 EIO", "write=2", "write=2", "write=1", "read=1 0a",
                     "wb=-1 EIO"}));
    std::string expected = counting_eeprom();
    expected[9] = 0x66;
    expected[11] = 0x77;
    EXPECT_EQ(sim.device(0, 0x52), expected);
}

// A page write to a protected device moves the pointer past its data like any write, with no
// write cycle after it, and reads still work; only another device on the bus stores its bytes.
TEST_F(Client, WriteProtectAcknowledgesWritesAndStoresNothing)
{
    sim.env_extra = {"I2CSIM_FAULTS=write-protect:0:50", "I2CSIM_BUSY_US=60000000"};
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-0", "slave", "50", "write", "10,aa,bb", "read",
                               "1", "wb", "20", "cc", "rb", "20", "slave", "52", "wb", "20", "dd"}),
              (lines{"open=#1", "slave=0", "write=3", "read=1 12", "wb=00", "rb=20", "slave=0",
                     "wb=00"}));
    EXPECT_EQ(sim.device(0, 0x50), counting_eeprom());
    std::string expected = counting_eeprom();
    expected[0x20] = static_cast<char>(0xdd);
    EXPECT_EQ(sim.device(0, 0x52), expected);
    EXPECT_EQ(sim.log_lines()[2], "write bus=0 addr=50 len=3 data=10 aa bb ok");
}

TEST_F(Client, BusyRuleRefusesSlaveButNotForce)
{
    sim.env_extra = {"I2CSIM_FAULTS=busy:0:50"};
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-0", "slave", "50", "force", "50", "rb", "10",
                               "slave", "52"}),
              (lines{"open=#1", "slave=-1 EBUSY", "force=0", "rb=10", "slave=0"}));
}

TEST_F(Client, SlaveAcceptsEverySevenBitAddressOnly)
{
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-0", "slave", "0", "slave", "7f", "slave", "80",
                               "tenbit", "1", "slave", "3ff", "slave", "400"}),
              (lines{"open=#1", "slave=0", "slave=0", "slave=-1 EINVAL", "tenbit=0", "slave=0",
                     "slave=-1 EINVAL"}));
}

// After a stored write the device ignores its address until the write cycle is over.
TEST_F(Client, WriteCycleRefusesEverythingUntilItEnds)
{
    sim.env_extra = {"I2CSIM_BUSY_US=60000000"};
    EXPECT_EQ(on_device("50", {"write", "10", "read", "1", "write", "10,aa", "rb", "10", "write",
                               "11,bb", "quick"}),
              (lines{"write=1", "read=1 10", "write=2", "rb=-1 ENXIO", "write=-1 ENXIO",
                     "quick=-1 ENXIO"}));
    std::string expected = counting_eeprom();
    expected[0x10] = static_cast<char>(0xaa);
    EXPECT_EQ(sim.device(0, 0x50), expected);
    EXPECT_EQ(sim.log_lines().back(), "smbus bus=0 addr=50 write quick busy");
}

TEST_F(Client, WriteCycleEndsAfterItsTime)
{
    sim.env_extra = {"I2CSIM_BUSY_US=1000"};
    EXPECT_EQ(on_device("50", {"write", "10,aa", "sleep-ms", "20", "rb", "10"}),
              (lines{"write=2", "rb=aa"}));
}

TEST_F(Client, OnlyBusesZeroAndOneExistUnlessMissing)
{
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-1", "open", "/dev/i2c-2", "open", "/dev/i2c-00",
                               "open", "/dev/i2c/0"}),
              (lines{"open=#1", "open=-1 ENOENT", "open=-1 ENOENT", "open=-1 ENOENT"}));
    sim.env_extra = {"I2CSIM_MISSING_BUSES=0,1"};
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-0", "open", "/dev/i2c-1"}),
              (lines{"open=-1 ENOENT", "open=-1 ENOENT"}));
}

TEST_F(Client, EveryOpenEntryHandsOutItsOwnDescriptor)
{
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-0", "open64", "/dev/i2c-0", "openat", "/dev/i2c-1",
                               "open2", "/dev/i2c-1", "slave", "50", "rb", "7f"}),
              (lines{"open=#1", "open=#2", "open=#3", "open=#4", "slave=0", "rb=7f"}));
}

TEST_F(Client, AccessModeAndUnknownRequestsBehaveLikeTheKernel)
{
    EXPECT_EQ(
        run_client(sim, {"open-wo", "/dev/i2c-0", "slave", "50", "read", "1", "write", "10",
                         "ioctl-unknown", "close"}),
        (lines{"open=#1", "slave=0", "read=-1 EBADF", "write=1", "ioctl=-1 ENOTTY", "close=0"}));
}

TEST_F(Client, BadFaultRuleIsReportedAndIgnored)
{
    sim.env_extra = {"I2CSIM_FAULTS=nack:0:50;read-fail:0:zz:3;jam:0:50"};
    run_result raw;
    EXPECT_EQ(run_client(sim, {"open", "/dev/i2c-0", "slave", "50", "rb", "00"}, &raw),
              (lines{"open=#1", "slave=0", "rb=-1 ENXIO"}));
    EXPECT_EQ(raw.err, "i2cdev-sim: ignoring bad fault rule 'read-fail:0:zz:3' in I2CSIM_FAULTS\n"
                       "i2cdev-sim: ignoring bad fault rule 'jam:0:50' in I2CSIM_FAULTS\n");
}

TEST_F(Client, LogHasOneLinePerTransaction)
{
    sim.env_extra = {"I2CSIM_FAULTS=busy:0:52"};
    run_client(sim, {"open",   "/dev/i2c-0", "funcs", "slave", "52",   "force",     "52", "write",
                     "00,12",  "read",       "2",     "slave", "51",   "read",      "1",  "write",
                     "05,06",  "slave",      "50",    "rb",    "00",   "wb",        "01", "ff",
                     "rblock", "10",         "2",     "close", "open", "/dev/i2c-2"});
    EXPECT_EQ(sim.log_lines(),
              (lines{
                  "open /dev/i2c-0 fd=#1",
                  "funcs bus=0",
                  "slave bus=0 addr=52 EBUSY",
                  "slave-force bus=0 addr=52",
                  "write bus=0 addr=52 len=2 data=00 12 ok",
                  "read bus=0 addr=52 len=2 data=01 02 ok",
                  "slave bus=0 addr=51",
                  "read bus=0 addr=51 len=1 nack",
                  "write bus=0 addr=51 len=2 data=05 06 nack",
                  "slave bus=0 addr=50",
                  "smbus bus=0 addr=50 read byte-data cmd=00 -> 00 ok",
                  "smbus bus=0 addr=50 write byte-data cmd=01 val=ff ok",
                  "smbus bus=0 addr=50 read i2c-block-data cmd=10 len=2 -> 10 11 ok",
                  "close fd=#1",
                  "open /dev/i2c-2 ENOENT",
              }));
}

TEST_F(Client, WithoutALogNothingIsWritten)
{
    run_options opts = sim.options();
    opts.env = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"), "I2CSIM_DIR=" + sim.dir.path};
    run_result r = run_program(bin_path("i2cdev_sim_client"),
                               {"open", "/dev/i2c-0", "slave", "50", "rb", "10"}, opts);
    EXPECT_EQ(number_descriptors(r.out), "open=#1\nslave=0\nrb=10\n");
    EXPECT_EQ(read_file(sim.log_path()), "");
}

} // namespace
