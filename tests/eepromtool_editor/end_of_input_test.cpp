// Standard input from a pipe: a scripted session, and input that ends anywhere, which ends the
// editor as q does (nothing written, status 0).
#include "editor_fixture.h"

namespace
{

struct piped_editor : ::testing::Test {
    board b;

    // Runs the editor with `keys` as its whole input; returns its output.
    std::string run(const std::string &keys, int expected_status = 0)
    {
        run_options o;
        o.env = b.env();
        o.stdin_text = keys;
        o.stdin_from_null = keys.empty();
        run_result r = run_program(bin_path("okt-eepromtool"), {}, o);
        EXPECT_EQ(r.status, expected_status);
        if (!launcher_in_use()) {
            EXPECT_EQ(r.err, "");
        }
        return r.out;
    }
    std::string start_text() { return banner() + standard_report() + main_screen(CPU, cpu_info()); }
    std::string untouched() const { return record_bytes(cpu_record()) + b.tail; }
};

TEST_F(piped_editor, ScriptedSessionEditsAndWrites)
{
    info_lines shown = cpu_info();
    shown.counter = counter_text(26);
    std::string out = run("e2\n0x1A\nqWq");
    EXPECT_EQ(out,
              start_text() + edit_screen(CPU, cpu_info()) +
                  " -- edit bootcounter -- \ncurrent bootcounter value is " + cpu_info().counter +
                  "\nenter new value (0xHEX or DECIMAL): " + edit_screen(CPU, shown) + edit_done() +
                  main_screen(CPU, shown) + write_screen(CPU, true) + main_screen(CPU, shown));
    record_fields f = cpu_record();
    f.counter = 26;
    EXPECT_EQ(b.eeprom(CPU), record_bytes(f) + b.tail);
}

TEST_F(piped_editor, EmptyInputEndsAtTheFirstPrompt)
{
    EXPECT_EQ(run(""), start_text());
    EXPECT_EQ(b.eeprom(CPU), untouched());
}

TEST_F(piped_editor, InputEndingInTheMenusWritesNothing)
{
    // Pending edits in both menus, then the end of input: no write, no further screen.
    info_lines cleared = cpu_info();
    cleared.counter = counter_text(0);
    EXPECT_EQ(run("e1"), start_text() + edit_screen(CPU, cpu_info()) + edit_screen(CPU, cleared));
    EXPECT_EQ(run("e1q"), start_text() + edit_screen(CPU, cpu_info()) + edit_screen(CPU, cleared) +
                              edit_done() + main_screen(CPU, cleared));
    EXPECT_EQ(b.eeprom(CPU), untouched());
    EXPECT_EQ(b.log().find("write"), std::string::npos);
}

TEST_F(piped_editor, InputEndingInADialogEndsTheEditor)
{
    const std::string counter_prompt = " -- edit bootcounter -- \ncurrent bootcounter value is " +
                                       cpu_info().counter +
                                       "\nenter new value (0xHEX or DECIMAL): ";
    EXPECT_EQ(run("e2 \n \n"), start_text() + edit_screen(CPU, cpu_info()) + counter_prompt);
    EXPECT_EQ(run("e6"), start_text() + edit_screen(CPU, cpu_info()) +
                             " -- edit Revision String -- \n Current is [" + pad15("ABCDEFGH") +
                             "]\n Enter new  [");
    EXPECT_EQ(run("e3\b\b01"), start_text() + edit_screen(CPU, cpu_info()) +
                                   " -- edit Manufacture Date String -- \n"
                                   " Format      DD.MM.YY-HH:MM\n"
                                   " Current is [24.12.09-08:05 ]\n"
                                   " Enter new  :24.12.09-08:05\b \b\b \b01");
    EXPECT_EQ(b.eeprom(CPU), untouched());
}

TEST_F(piped_editor, OverlongWordKeepsItsFirst255CharactersAndDropsTheRest)
{
    // Were the characters after the 255th left behind, 1 would clear the counter, q leave the
    // edit menu and W write at once.
    std::string word = std::string(255, '9') + "1qW";
    info_lines shown = cpu_info();
    shown.counter = counter_text(2147483647u);
    shown.rev = std::string(15, 'r');
    std::string rev_word = std::string(300, 'r') + "1qW";
    std::string out = run("e2" + word + "\n6" + rev_word + "\nqWq");
    EXPECT_EQ(out.find("EDIT MODULE DONE"), out.rfind("EDIT MODULE DONE"));
    EXPECT_NE(out.find(edit_screen(CPU, shown) + edit_done() + main_screen(CPU, shown) +
                       write_screen(CPU, true) + main_screen(CPU, shown)),
              std::string::npos);
    record_fields f = cpu_record();
    f.counter = 2147483647u;
    f.rev = std::string(15, 'r');
    EXPECT_EQ(b.eeprom(CPU), record_bytes(f) + b.tail);
}

} // namespace
