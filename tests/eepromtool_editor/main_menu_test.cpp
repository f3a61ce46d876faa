// Main and edit menu keys: selection, re-read, write, and the keys that only prompt again.
#include "editor_fixture.h"

#include <unistd.h>

namespace
{

size_t count_lines(const std::string &text, const std::string &prefix)
{
    size_t n = 0;
    for (const std::string &line : split_lines(text))
        n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

info_lines with_counter(info_lines i, uint32_t value)
{
    i.counter = counter_text(value);
    return i;
}

TEST_F(editor_test, ReReadDropsPendingEditsAndKeepsTheSelection)
{
    start();
    key("2", main_screen(MOTHERBOARD, motherboard_info()));
    key("e", edit_screen(MOTHERBOARD, motherboard_info()));
    key("1", edit_screen(MOTHERBOARD, with_counter(motherboard_info(), 0)));
    key("q", edit_done() + main_screen(MOTHERBOARD, with_counter(motherboard_info(), 0)));
    key("1", main_screen(CPU, cpu_info()));
    key("e", edit_screen(CPU, cpu_info()));
    key("1", edit_screen(CPU, with_counter(cpu_info(), 0)));
    key("q", edit_done() + main_screen(CPU, with_counter(cpu_info(), 0)));
    key("2", main_screen(MOTHERBOARD, with_counter(motherboard_info(), 0)));
    // Meanwhile the extension module 1 has appeared: the re-read finds it.
    b.put(EXT1, record_bytes(motherboard_record()));
    key("r",
        reading_report({true, true, true, true}) + main_screen(MOTHERBOARD, motherboard_info()));
    key("1", main_screen(CPU, cpu_info()));
    key("4", main_screen(EXT1, motherboard_info()));
    quit();
}

// On a plain I2C adapter each byte is a 2-byte write; on an SMBus-only controller, which has no
// plain writes, an SMBus write-byte-data: the same bytes on the bus, the same screens.
TEST_F(editor_test, WriteSendsExactlyTheRecordInMemory)
{
    struct adapter {
        const char *name;
        std::vector<std::string> env;
        const char *sent;  // log prefix of each byte's write
        const char *other; // log prefix of the writes it must not make
    };
    const adapter adapters[] = {
        {"plain I2C", {}, "write bus=0 addr=50 len=2 ", "smbus bus=0 addr=50 write"},
        {"SMBus only",
         {"I2CSIM_SMBUS_ONLY=0,1"},
         "smbus bus=0 addr=50 write byte-data ",
         "write bus="},
    };
    for (const adapter &a : adapters) {
        SCOPED_TRACE(a.name);
        b.put(CPU, record_bytes(cpu_record()));
        unlink(b.dir.file("i2c.log").c_str());
        start(standard_report(), cpu_info(), a.env);
        key("e", edit_screen(CPU, cpu_info()));
        key("1", edit_screen(CPU, with_counter(cpu_info(), 0)));
        key("q", edit_done() + main_screen(CPU, with_counter(cpu_info(), 0)));
        key("2", main_screen(MOTHERBOARD, motherboard_info()));
        key("1", main_screen(CPU, with_counter(cpu_info(), 0)));
        std::string motherboard_before = b.eeprom(MOTHERBOARD);
        key("W", write_screen(CPU, true) + main_screen(CPU, with_counter(cpu_info(), 0)));
        record_fields written = cpu_record();
        written.counter = 0;
        EXPECT_EQ(b.eeprom(CPU), record_bytes(written) + b.tail);
        EXPECT_EQ(b.eeprom(MOTHERBOARD), motherboard_before);
        // Byte by byte, never a page write.
        std::string log = b.log();
        EXPECT_EQ(log.find("len=3"), std::string::npos);
        EXPECT_EQ(count_lines(log, a.sent), RECORD_SIZE);
        EXPECT_EQ(count_lines(log, a.other), 0u);
        quit();
    }
}

const std::string NOT_READ = "record not read completely, nothing written; r reads it again\n";

TEST_F(editor_test, WriteToAModuleGoneSinceTheReadReportsTheI2cFailure)
{
    start();
    key("2", main_screen(MOTHERBOARD, motherboard_info()));
    b.remove(MOTHERBOARD);
    key("W", write_screen(MOTHERBOARD, false, "i2c_write: write error at 0\n") +
                 main_screen(MOTHERBOARD, motherboard_info()));
    // The record in memory is unchanged, so W can be pressed again.
    key("W", write_screen(MOTHERBOARD, false, "i2c_write: write error at 0\n") +
                 main_screen(MOTHERBOARD, motherboard_info()));
    quit();
    EXPECT_EQ(b.eeprom(MOTHERBOARD), "");
}

// Past a read that broke off, the record holds zeros; written, they would replace the serial
// number and everything after it.
TEST_F(editor_test, WriteRefusesARecordWhoseReadBrokeOff)
{
    info_lines shown = cpu_info();
    shown.serial = pad15(""); // bytes 40 on are still zero
    start(reading_report({false, true, true, false}), shown, {"I2CSIM_FAULTS=read-fail:0:50:40"});
    key("e", edit_screen(CPU, shown));
    shown.counter = counter_text(0);
    key("1", edit_screen(CPU, shown));
    key("q", edit_done() + main_screen(CPU, shown));
    key("W", write_screen(CPU, false, NOT_READ) + main_screen(CPU, shown));
    quit();
    EXPECT_EQ(b.eeprom(CPU), record_bytes(cpu_record()) + b.tail);
    EXPECT_EQ(b.log().find("write bus=0 addr=50"), std::string::npos);
}

TEST_F(editor_test, WriteRefusesAModuleThatDidNotAnswerUntilReadAgain)
{
    start();
    key("4", main_screen(EXT1, zero_info()));
    // The module answers now, but its record in memory is the empty one made at the start.
    b.put(EXT1, record_bytes(motherboard_record()));
    key("W", write_screen(EXT1, false, NOT_READ) + main_screen(EXT1, zero_info()));
    EXPECT_EQ(b.eeprom(EXT1), record_bytes(motherboard_record()) + b.tail);
    EXPECT_EQ(b.log().find("write bus=0 addr=53"), std::string::npos);
    key("r", reading_report({true, true, true, true}) + main_screen(EXT1, motherboard_info()));
    key("W", write_screen(EXT1, true) + main_screen(EXT1, motherboard_info()));
    EXPECT_NE(b.log().find("write bus=0 addr=53 len=2 data=7f bf ok"), std::string::npos);
    quit();
}

// An EEPROM with its write-protect pin tied high acknowledges every byte and keeps none.
TEST_F(editor_test, WriteToAWriteProtectedModuleFailsAndOthersStillWrite)
{
    start(standard_report(), cpu_info(), {"I2CSIM_FAULTS=write-protect:0:50"});
    key("e", edit_screen(CPU, cpu_info()));
    info_lines cleared = with_counter(cpu_info(), 0);
    key("1", edit_screen(CPU, cleared));
    key("q", edit_done() + main_screen(CPU, cleared));
    const std::string verify = "i2c_write: verify error at 0: wrote 0x00, read back 0xd2\n";
    key("W", write_screen(CPU, false, verify) + main_screen(CPU, cleared));
    EXPECT_EQ(b.eeprom(CPU), record_bytes(cpu_record()) + b.tail);

    key("2", main_screen(MOTHERBOARD, motherboard_info()));
    key("e", edit_screen(MOTHERBOARD, motherboard_info()));
    info_lines mb_cleared = with_counter(motherboard_info(), 0);
    key("1", edit_screen(MOTHERBOARD, mb_cleared));
    key("q", edit_done() + main_screen(MOTHERBOARD, mb_cleared));
    key("W", write_screen(MOTHERBOARD, true) + main_screen(MOTHERBOARD, mb_cleared));
    record_fields f = motherboard_record();
    f.counter = 0;
    EXPECT_EQ(b.eeprom(MOTHERBOARD), record_bytes(f) + b.tail);
    quit();
}

TEST_F(editor_test, WriteFailingMidwayLeavesTheRestOfTheEeprom)
{
    start(standard_report(), cpu_info(), {"I2CSIM_FAULTS=write-fail:0:50:10"});
    key("e", edit_screen(CPU, cpu_info()));
    key("1", edit_screen(CPU, with_counter(cpu_info(), 0)));
    key("q", edit_done() + main_screen(CPU, with_counter(cpu_info(), 0)));
    key("W", write_screen(CPU, false, "i2c_write: write error at 10\n") +
                 main_screen(CPU, with_counter(cpu_info(), 0)));
    quit();
}

TEST_F(editor_test, MainMenuKeysThatOnlyPromptOrRedraw)
{
    start();
    key("w", "> ");
    key("x", "> ");
    key("E", "> ");
    // Line ends print nothing, not even a prompt. They go together with the next key: a key
    // typed while the program is between two reads would be echoed by the terminal.
    key("\n\r?", "\n" + main_screen(CPU, cpu_info()));
    key("\x01", "> ");
    quit();
    EXPECT_EQ(b.eeprom(CPU), record_bytes(cpu_record()) + b.tail);
}

TEST_F(editor_test, EditMenuKeysThatOnlyPromptOrRedraw)
{
    start();
    key("3", main_screen(EXT0, erased_info()));
    key("e", edit_screen(EXT0, erased_info()));
    key("?", edit_screen(EXT0, erased_info()));
    key("h", edit_screen(EXT0, erased_info()));
    key("\n\r8", "> ");
    key("W", "> ");
    key("0", "> ");
    key("q", edit_done() + main_screen(EXT0, erased_info()));
    quit();
}

TEST_F(editor_test, ANulKeyOnlyPromptsInBothMenus)
{
    // The menus' empty screen lines have no key; a NUL byte must not pick one.
    const std::string nul(1, '\0');
    start();
    key(nul, "> ");
    key("e", edit_screen(CPU, cpu_info()));
    key(nul, "> ");
    key("q", edit_done() + main_screen(CPU, cpu_info()));
    quit();
}

} // namespace
