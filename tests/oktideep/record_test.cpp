// The module table, the record layout, the record helpers and the I2C access, without any bus.
#include "oktideep.h"
#include "i2c_access.h"
#include "owners.h"
#include "capture_stdout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

struct module_table : ::testing::Test {
    malloc_ptr<okt_eep_modinfo> table{okt_eep_init()};
};

unsigned char *bytes(okt_eep_data &d)
{
    return reinterpret_cast<unsigned char *>(&d);
}

} // namespace

TEST(Record, BootCounterIsLittleEndianWhateverTheHost)
{
    okt_eep_data d = {};
    okt_eep_set_bootcntr(&d, 0x12345678u);
    EXPECT_EQ(d.bootcntr[0], 0x78);
    EXPECT_EQ(d.bootcntr[1], 0x56);
    EXPECT_EQ(d.bootcntr[2], 0x34);
    EXPECT_EQ(d.bootcntr[3], 0x12);
    EXPECT_EQ(okt_eep_get_bootcntr(&d), 0x12345678u);

    memset(&d, 0xFF, sizeof d); // an erased EEPROM
    EXPECT_EQ(okt_eep_get_bootcntr(&d), 4294967295u);
}

TEST_F(module_table, HoldsTheFourModulesInReadingOrderThenTheEnd)
{
    ASSERT_NE(table, nullptr);
    struct expected {
        int role;
        int bus;
        int addr;
        int state;
    };
    const expected rows[] = {
        {ROLE_CPU, 0, 0xA0, 1},
        {ROLE_BASEBOARD, 1, 0xA0, 0},
        {ROLE_EXTMOD0, 0, 0xA4, 0},
        {ROLE_EXTMOD1, 0, 0xA6, 0},
    };
    okt_eep_data zero = {};
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        const okt_eep_modinfo &m = table.get()[i];
        EXPECT_EQ(m.role, rows[i].role);
        EXPECT_EQ(m.bus, rows[i].bus);
        EXPECT_EQ(m.addr, rows[i].addr);
        EXPECT_EQ(m.state, rows[i].state);
        EXPECT_EQ(memcmp(&m.data, &zero, sizeof zero), 0);
    }
    EXPECT_EQ(table.get()[4].role, ROLE_END);
}

TEST_F(module_table, FindsEachRoleButNotTheFiberModuleOrTheEnd)
{
    okt_eep_modinfo *t = table.get();
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_CPU), &t[0]);
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_BASEBOARD), &t[1]);
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_EXTMOD0), &t[2]);
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_EXTMOD1), &t[3]);
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_FIBER_OPTIC), nullptr);
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_END), nullptr);
}

TEST_F(module_table, FindsTheFirstEntryOfARole)
{
    okt_eep_modinfo *t = table.get();
    t[3].role = ROLE_EXTMOD0;
    EXPECT_EQ(okt_eep_get_modinfo(t, ROLE_EXTMOD0), &t[2]);
}

TEST_F(module_table, SanitizeZeroesOnlyTheTextTerminators)
{
    okt_eep_modinfo &m = table.get()[0];
    memset(&m.data, 0xFF, sizeof m.data);
    okt_eep_sanitize_entry(&m);
    for (int i = 0; i < OKT_EEP_RECORD_SIZE; i++) {
        SCOPED_TRACE(i);
        bool terminator = i == 31 || i == 47 || i == 63;
        EXPECT_EQ(bytes(m.data)[i], terminator ? 0x00 : 0xFF);
    }
}

TEST_F(module_table, SerialCopyIsAlwaysTerminated)
{
    okt_eep_modinfo &m = table.get()[0];
    memset(m.data.serial, 'S', sizeof m.data.serial); // no terminator in the record
    char out[16];
    memset(out, 'x', sizeof out);
    char *buf = out;
    ASSERT_EQ(okt_eep_mod_get_serial(&m, &buf), 0);
    EXPECT_EQ(std::string(out), std::string(15, 'S'));

    memset(m.data.serial, 0, sizeof m.data.serial);
    memcpy(m.data.serial, "AB\0CD", 5); // bytes after the NUL are copied too, but not shown
    memset(out, 'x', sizeof out);
    ASSERT_EQ(okt_eep_mod_get_serial(&m, &buf), 0);
    EXPECT_EQ(memcmp(out, "AB\0CD\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
}

TEST_F(module_table, SerialCopyRefusesMissingBuffers)
{
    char *null_buf = nullptr;
    EXPECT_EQ(okt_eep_mod_get_serial(&table.get()[0], nullptr), -1);
    EXPECT_EQ(okt_eep_mod_get_serial(&table.get()[0], &null_buf), -1);
}

TEST(Record, ChecksumAddsTheFiftyNineBytesAfterTheFirstFour)
{
    unsigned char area[128];
    for (int i = 0; i < 128; i++)
        area[i] = static_cast<unsigned char>(i);
    // 4 + 5 + ... + 62 = 1947; modulo 256 = 155. Bytes 0..3 and 63.. are left out.
    EXPECT_EQ(okt_eep_cksum_data(area), 155);

    memset(area, 0xFF, sizeof area);
    EXPECT_EQ(okt_eep_cksum_data(area), (59 * 0xFF) % 256);
    area[3] = 1;
    area[63] = 1;
    EXPECT_EQ(okt_eep_cksum_data(area), (59 * 0xFF) % 256);
}

TEST_F(module_table, ReadAndWriteRefuseANullEntryAndAnUnknownBus)
{
    EXPECT_EQ(okt_eep_write_modinfo(nullptr), -1);
    EXPECT_EQ(okt_eep_read_modinfo(nullptr), -1);
    okt_eep_write_report report;
    okt_eep_write_record(nullptr, &report);
    EXPECT_EQ(report.result, OKT_EEP_WRITE_NO_ENTRY);
    okt_eep_modinfo m = table.get()[0];
    m.bus = 2;
    capture_stdout cap;
    EXPECT_EQ(okt_eep_write_modinfo(&m), -2);
    okt_eep_write_record(&m, &report);
    EXPECT_EQ(report.result, OKT_EEP_WRITE_BAD_BUS);
    EXPECT_EQ(report.offset, -1);
    EXPECT_EQ(okt_eep_read_modinfo(&m), -2);
    EXPECT_EQ(m.bytes_read, 0);
    EXPECT_EQ(cap.text(), "");
    EXPECT_STREQ(okt_eep_bus_device(0), "/dev/i2c-0");
    EXPECT_STREQ(okt_eep_bus_device(1), "/dev/i2c-1");
    EXPECT_EQ(okt_eep_bus_device(2), nullptr);
    EXPECT_EQ(okt_eep_bus_device(-1), nullptr);
}

TEST(I2cAccess, ANegativeDescriptorFailsSilentlyBeforeAnyTransfer)
{
    unsigned char buf[4] = {1, 2, 3, 4};
    capture_stdout cap;
    EXPECT_EQ(i2c_read(-1, 0xA0, buf, 4), -1);
    EXPECT_EQ(i2c_write(-1, 0xA0, buf, 4), -1);
    EXPECT_EQ(i2c_read_upto(-1, 0xA0, buf, 4), -1);
    EXPECT_EQ(i2c_write_upto(-1, 0xA0, buf, 4), -1);
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(buf[0], 1);
}

TEST(I2cAccess, ADescriptorThatIsNoBusFailsTheSelection)
{
    // A pipe is no i2c-dev node: selecting the device fails, and only the write reports it.
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    unique_fd r(p[0]), w(p[1]);
    unsigned char buf[1] = {0};
    capture_stdout cap;
    EXPECT_EQ(i2c_read(w.get(), 0xA0, buf, 0), -1);
    EXPECT_EQ(i2c_write(w.get(), 0xA0, buf, 0), -1);
    EXPECT_EQ(cap.text(), "i2c_write: cannot set slave addr!\n");
}
