// The seven field dialogs: what they show, the input limits, and the bytes they leave in the
// record (checked in the EEPROM after W).
#include "editor_fixture.h"

namespace
{

const std::string BELL = "\a";
const std::string ERASE = "\b \b";

std::string counter_dialog(const std::string &current)
{
    return " -- edit bootcounter -- \ncurrent bootcounter value is " + current +
           "\nenter new value (0xHEX or DECIMAL): ";
}

std::string date_dialog(const std::string &header, const std::string &current)
{
    return header + "\n Format      DD.MM.YY-HH:MM\n Current is [" + pad15(current) +
           "]\n Enter new  :" + current;
}
const std::string MANUF_HEADER = " -- edit Manufacture Date String -- ";
const std::string MAINT_HEADER = " -- edit Maintainance Date String -- ";

std::string desc_dialog(const std::string &current)
{
    return "\n --- select module description --- \n Current is [" + pad15(current) +
           "]\n Enter new  :" + current;
}

std::string rev_dialog(const std::string &current)
{
    return " -- edit Revision String -- \n Current is [" + pad15(current) + "]\n Enter new  [";
}

std::string serial_dialog(const std::string &current)
{
    return " -- edit Serial Number String -- \n Current is [" + pad15(current) +
           "]\n Enter new  :" + current;
}

struct dialog_test : editor_test {
    // Types each character at the line editor, expecting its plain echo.
    void type_echoed(const std::string &text)
    {
        for (char c : text)
            key(std::string(1, c), std::string(1, c));
    }
    void erase(size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            key("\x7f", ERASE);
    }
    // Leaves the edit menu, writes the selected module and returns its record bytes.
    std::string write_and_read_back(const module_id &m, const info_lines &shown)
    {
        key("q", edit_done() + main_screen(m, shown));
        key("W", write_screen(m, true) + main_screen(m, shown));
        return b.eeprom(m).substr(0, RECORD_SIZE);
    }
};

struct counter_case {
    const char *typed;
    uint32_t stored;
};

TEST_F(dialog_test, BootCounterTakesHexAndDecimalForms)
{
    const counter_case cases[] = {
        {"0x1A", 26},
        {"12a", 298},
        {"xyz", 0},
        {"-1", 0xFFFFFFFFu},
        {"4294967295", 2147483647u},
        {"0X1A", 26},
        {"a12", 0xA12}, // any letter a-f makes it hexadecimal
        {"0x1FFFFFFFF", 0xFFFFFFFFu},
    };
    start();
    key("e", edit_screen(CPU, cpu_info()));
    info_lines shown = cpu_info();
    for (const counter_case &c : cases) {
        SCOPED_TRACE(c.typed);
        key("2", counter_dialog(shown.counter));
        shown.counter = counter_text(c.stored);
        key(std::string(c.typed) + "\n", std::string(c.typed) + "\n" + edit_screen(CPU, shown));
    }
    record_fields f = cpu_record();
    f.counter = 0xFFFFFFFFu;
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

TEST_F(dialog_test, BootCounterWaitsPastEmptyLinesAndClearResets)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("2", counter_dialog(cpu_info().counter));
    key("\n", "\n"); // the terminal's echo only: the dialog still waits
    key("\n", "\n");
    info_lines shown = cpu_info();
    shown.counter = counter_text(77);
    key("  77\n", "  77\n" + edit_screen(CPU, shown));
    shown.counter = counter_text(0);
    key("1", edit_screen(CPU, shown));
    key("q", edit_done() + main_screen(CPU, shown));
    quit();
}

TEST_F(dialog_test, LeftoverOfTheCounterLineActsAsKeys)
{
    // "12 34": 12 is stored; the blank prompts again, 3 opens the manufacture date dialog, and
    // its line editor gets the 4 and the line end.
    start();
    key("3", main_screen(EXT0, erased_info()));
    key("e", edit_screen(EXT0, erased_info()));
    key("2", counter_dialog(erased_info().counter));
    info_lines counted = erased_info();
    counted.counter = counter_text(12);
    info_lines dated = counted;
    dated.manuf = "04.00.00-00:00";
    key("12 34\n", "12 34\n" + edit_screen(EXT0, counted) + "> " + date_dialog(MANUF_HEADER, "") +
                       "4\n" + edit_screen(EXT0, dated));
    key("q", edit_done() + main_screen(EXT0, dated));
    quit();
}

TEST_F(dialog_test, ManufactureDateTakesFourteenCharacters)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("3", date_dialog(MANUF_HEADER, "24.12.09-08:05"));
    key("9", BELL);
    erase(14);
    key("\x7f", BELL);
    type_echoed("24.12.49-23:59");
    key("7", BELL);
    info_lines shown = cpu_info();
    shown.manuf = "24.12.49-23:59";
    key("\n", "\n" + edit_screen(CPU, shown));
    record_fields f = cpu_record();
    f.manuf_date = packed_date(24, 12, 49, 23, 59);
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

TEST_F(dialog_test, MaintenanceDateTakesFifteenCharacters)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("4", date_dialog(MAINT_HEADER, "01.02.12-10:30"));
    key("5", "5");
    key("6", BELL);
    // Only the first fifteen characters are converted: the extra digit does not count.
    key("\r", "\n" + edit_screen(CPU, cpu_info()));
    EXPECT_EQ(write_and_read_back(CPU, cpu_info()), record_bytes(cpu_record()));
    quit();
}

TEST_F(dialog_test, DateDialogsStoreOrRejectTheirText)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    // Enter keeps a valid date.
    key("3", date_dialog(MANUF_HEADER, "24.12.09-08:05"));
    key("\n", "\n" + edit_screen(CPU, cpu_info()));
    // A day of 32 is rejected and changes nothing.
    key("4", date_dialog(MAINT_HEADER, "01.02.12-10:30"));
    erase(14);
    type_echoed("32.01.12-10:00");
    key("\n", "\n INVALID DATE\n" + edit_screen(CPU, cpu_info()));
    // An emptied text is the date 00.00.00-00:00.
    key("4", date_dialog(MAINT_HEADER, "01.02.12-10:30"));
    erase(14);
    info_lines shown = cpu_info();
    shown.maint = "00.00.00-00:00";
    key("\n", "\n" + edit_screen(CPU, shown));
    record_fields f = cpu_record();
    f.maint_date = packed_date(0, 0, 0, 0, 0);
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

TEST_F(dialog_test, ErasedDatesStartEmptyAndBecomeZero)
{
    start();
    key("3", main_screen(EXT0, erased_info()));
    key("e", edit_screen(EXT0, erased_info()));
    info_lines shown = erased_info();
    shown.manuf = "00.00.00-00:00";
    key("3", date_dialog(MANUF_HEADER, ""));
    key("\n", "\n" + edit_screen(EXT0, shown));
    shown.maint = "00.00.00-00:00";
    key("4", date_dialog(MAINT_HEADER, ""));
    key("\n", "\n" + edit_screen(EXT0, shown));
    // The texts keep their 0xFF bytes; only each field's last byte is forced to zero.
    std::string want(RECORD_SIZE, '\xff');
    want.replace(4, 12, packed_date(0, 0, 0, 0, 0) + packed_date(0, 0, 0, 0, 0));
    want[31] = want[47] = want[63] = '\0';
    EXPECT_EQ(write_and_read_back(EXT0, shown), want);
    quit();
}

TEST_F(dialog_test, AllZeroDateIsOfferedWholeAndStoredAsZeroDate)
{
    start();
    key("4", main_screen(EXT1, zero_info()));
    key("e", edit_screen(EXT1, zero_info()));
    key("3", date_dialog(MANUF_HEADER, "00.00.0000.00.00"));
    key("1", BELL);
    info_lines shown = zero_info();
    shown.manuf = "00.00.00-00:00";
    key("\n", "\n" + edit_screen(EXT1, shown));
    key("q", edit_done() + main_screen(EXT1, shown));
    quit();
}

TEST_F(dialog_test, DescriptionTakesFifteenAndZeroFillsTheRest)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("5", desc_dialog("WLD OKT-CPU-A1"));
    key("X", "X");
    key("Y", BELL);
    info_lines shown = cpu_info();
    shown.desc = "WLD OKT-CPU-A1X";
    key("\n", "\n" + edit_screen(CPU, shown));
    record_fields f = cpu_record();
    f.desc = "WLD OKT-CPU-A1X";
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));

    key("e", edit_screen(CPU, shown));
    key("5", desc_dialog("WLD OKT-CPU-A1X"));
    erase(15);
    key("\b", BELL);
    type_echoed("AB");
    shown.desc = pad15("AB");
    key("\n", "\n" + edit_screen(CPU, shown));
    f.desc = "AB";
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));

    key("e", edit_screen(CPU, shown));
    key("5", desc_dialog("AB"));
    erase(2);
    shown.desc = pad15("");
    key("\n", "\n" + edit_screen(CPU, shown));
    f.desc = "";
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

TEST_F(dialog_test, RevisionWordOverwritesOnlyItsOwnBytes)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("6", rev_dialog("ABCDEFGH"));
    info_lines shown = cpu_info();
    shown.rev = pad15("XY");
    key("XY\n", "XY\n" + edit_screen(CPU, shown));
    record_fields f = cpu_record();
    f.rev = std::string("XY\0DEFGH", 8);
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));

    key("e", edit_screen(CPU, shown));
    key("6", rev_dialog("XY"));
    shown.rev = "0123456789ABCDE";
    key("0123456789ABCDEFGHIJ\n", "0123456789ABCDEFGHIJ\n" + edit_screen(CPU, shown));
    f.rev = "0123456789ABCDE";
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

TEST_F(dialog_test, SerialTakesFourteenCharacters)
{
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("7", serial_dialog("SN-0001"));
    type_echoed("ABCDEFG");
    key("H", BELL);
    info_lines shown = cpu_info();
    shown.serial = "SN-0001ABCDEFG ";
    key("\n", "\n" + edit_screen(CPU, shown));
    record_fields f = cpu_record();
    f.serial = "SN-0001ABCDEFG";
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));

    key("e", edit_screen(CPU, shown));
    key("7", serial_dialog("SN-0001ABCDEFG"));
    erase(14);
    shown.serial = pad15("");
    key("\n", "\n" + edit_screen(CPU, shown));
    f.serial = "";
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

// Cursor and function keys send escape sequences, and control keys single codes below 0x20: the
// line editor neither stores nor echoes any of them. Each group goes together with a letter, which
// alone shows on the screen.
TEST_F(dialog_test, LineEditorIgnoresControlKeysAndEscapeSequences)
{
    struct typed {
        const char *label;
        std::string keys;
    };
    const typed groups[] = {
        {"up arrow", "\x1b[A"},
        {"F1", "\x1bOP"},
        {"ctrl+right arrow", "\x1b[1;5C"},
        {"F5", "\x1b[15~"},
        {"control codes", "\x01\x02\t\x0b\x0c\x07\x17\x1f"},
        {"a lone escape", "\x1b"},
        {"two sequences in a row", "\x1b[B\x1b[C"},
    };
    start();
    key("e", edit_screen(CPU, cpu_info()));
    key("7", serial_dialog("SN-0001"));
    std::string added;
    for (const typed &g : groups) {
        SCOPED_TRACE(g.label);
        std::string letter(1, static_cast<char>('A' + added.size()));
        key(g.keys + letter, letter);
        added += letter;
    }
    // The Delete key's sequence does not erase; backspace still does.
    key("\x1b[3~\x7f", ERASE);
    added.pop_back();
    info_lines shown = cpu_info();
    shown.serial = pad15("SN-0001" + added);
    key("\x1b[A\n", "\n" + edit_screen(CPU, shown));
    record_fields f = cpu_record();
    f.serial = "SN-0001" + added;
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

TEST_F(dialog_test, SerialOfFifteenCharactersIsKeptWithEnter)
{
    record_fields f = cpu_record();
    f.serial = "123456789012345";
    b.put(CPU, record_bytes(f));
    info_lines shown = cpu_info();
    shown.serial = "123456789012345";
    start(standard_report(), shown);
    key("e", edit_screen(CPU, shown));
    key("7", serial_dialog("123456789012345"));
    key("6", BELL);
    key("\n", "\n" + edit_screen(CPU, shown));
    EXPECT_EQ(write_and_read_back(CPU, shown), record_bytes(f));
    quit();
}

} // namespace
