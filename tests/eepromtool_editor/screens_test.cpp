// Start, banner, reading report, the information block of every kind of record, hex dump.
#include "editor_fixture.h"

namespace
{

TEST_F(editor_test, StartsOnTheCpuModuleAndQuitsWithoutWriting)
{
    std::string before = b.eeprom(CPU) + b.eeprom(MOTHERBOARD) + b.eeprom(EXT0);
    start();
    quit();
    EXPECT_EQ(b.eeprom(CPU) + b.eeprom(MOTHERBOARD) + b.eeprom(EXT0), before);
    EXPECT_EQ(b.eeprom(EXT1), "");
}

TEST_F(editor_test, ShowsEachKindOfRecordInItsModule)
{
    start();
    key("2", main_screen(MOTHERBOARD, motherboard_info()));
    key("3", main_screen(EXT0, erased_info()));
    key("4", main_screen(EXT1, zero_info()));
    key("1", main_screen(CPU, cpu_info()));
    quit();
}

TEST_F(editor_test, ShowsATextOfFifteenCharactersWithoutPadding)
{
    record_fields f = cpu_record();
    f.desc = "ABCDEFGHIJKLMNO";
    f.rev = "";
    f.serial = "123456789012345";
    b.put(CPU, record_bytes(f));
    info_lines shown = cpu_info();
    shown.desc = "ABCDEFGHIJKLMNO";
    shown.rev = pad15("");
    shown.serial = "123456789012345";
    start(standard_report(), shown);
    quit();
}

TEST_F(editor_test, ShowsAnInvalidDateByItsOwnTextOnEachLine)
{
    // A year byte of 0x60 or more is no date; the two lines word it differently.
    record_fields f = cpu_record();
    f.manuf_date = std::string("\x01\x01\x60\x20\x00\x00", 6);
    f.maint_date = std::string("\x01\x01\x99\x20\x00\x00", 6);
    b.put(CPU, record_bytes(f));
    info_lines shown = cpu_info();
    shown.manuf = " (invalid)";
    shown.maint = "(invalid)";
    start(standard_report(), shown);
    quit();
}

TEST_F(editor_test, ReportsAllModulesMissingAndShowsZeroRecords)
{
    b.remove(CPU);
    b.remove(MOTHERBOARD);
    b.remove(EXT0);
    start(reading_report({false, false, false, false}), zero_info());
    key("2", main_screen(MOTHERBOARD, zero_info()));
    quit();
}

TEST_F(editor_test, FailedFirstReadEndsBeforeAnyMenu)
{
    // main() reports the failed first probe; the editor shows no menu and reads no key.
    s = std::make_unique<pty_session>(b.dir.file("stderr"), b.env({"I2CSIM_MISSING_BUSES=1"}));
    ASSERT_TRUE(s->started);
    std::string head = banner();
    EXPECT_EQ(s->take(head.size()), head);
    int status;
    EXPECT_EQ(s->finish(&status), "cannot open /dev/i2c-1\nprobe error\n");
    EXPECT_EQ(status, 1);
}

TEST_F(editor_test, HexDumpShowsTheRecordInMemoryWithoutTouchingTheBus)
{
    start();
    key("h", hexdump_screen(CPU, record_bytes(cpu_record())) + main_screen(CPU, cpu_info()));
    key("e", edit_screen(CPU, cpu_info()));
    info_lines cleared = cpu_info();
    cleared.counter = counter_text(0);
    key("1", edit_screen(CPU, cleared));
    key("q", edit_done() + main_screen(CPU, cleared));
    std::string log_before = b.log();
    record_fields pending = cpu_record();
    pending.counter = 0;
    key("h", hexdump_screen(CPU, record_bytes(pending)) + main_screen(CPU, cleared));
    EXPECT_EQ(b.log(), log_before);
    key("3", main_screen(EXT0, erased_info()));
    // Read records have the last byte of each text field forced to zero.
    std::string erased(RECORD_SIZE, '\xff');
    erased[31] = erased[47] = erased[63] = '\0';
    key("h", hexdump_screen(EXT0, erased) + main_screen(EXT0, erased_info()));
    quit();
    EXPECT_EQ(b.eeprom(CPU), record_bytes(cpu_record()) + b.tail);
}

} // namespace
