#include "edit_menu.h"

#include "console.h"
#include "field_dialogs.h"
#include "module_view.h"

#include <cstdio>

namespace
{

constexpr int KEY_LINE_FEED = 10;
constexpr int KEY_CARRIAGE_RETURN = 13;

void print_edit_screen(const okt_eep_modinfo *entry)
{
    puts("\n------------------ EDIT MODULE ---------------\n");
    print_module_line(entry);
    view_raw_module_info(entry);
    puts("");
    puts(" 1 .. clear bootcounter");
    puts(" 2 .. edit bootcounter");
    puts(" 3 .. edit manufacture date");
    puts(" 4 .. edit maintainance date");
    puts(" 5 .. select description string");
    puts(" 6 .. edit revision string");
    puts(" 7 .. edit serial number");
    puts("");
    puts(" q .. editing done");
    printf("> ");
}

bool is_edit_menu_key(int key)
{
    return (key >= '1' && key <= '7') || key == '?' || key == 'h' || key == 'q';
}

// The next key the edit menu acts on, or -1 at end of input; see the main menu's reader.
int read_edit_menu_key()
{
    for (;;) {
        int key = getch();
        if (key < 0)
            return -1;
        key &= 0xFF;
        if (is_edit_menu_key(key))
            return key;
        if (key != KEY_LINE_FEED && key != KEY_CARRIAGE_RETURN)
            printf("> ");
    }
}

} // namespace

void edit_module(okt_eep_modinfo *entry)
{
    for (;;) {
        print_edit_screen(entry);
        switch (read_edit_menu_key()) {
        case '1':
            clear_bootcntr(entry);
            break;
        case '2':
            edit_bootcntr(entry);
            break;
        case '3':
            edit_manuf_date(entry);
            break;
        case '4':
            edit_maint_date(entry);
            break;
        case '5':
            select_desc_string(entry);
            break;
        case '6':
            edit_rev_string(entry);
            break;
        case '7':
            edit_serial(entry);
            break;
        case '?':
        case 'h':
            break;
        case 'q':
            puts("\n----------- EDIT MODULE DONE ---------------");
            return;
        case -1:
            return;
        }
        // A dialog cut short by the end of input ends the whole editor, as q would.
        if (input_ended())
            return;
    }
}
