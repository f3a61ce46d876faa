#include "editor.h"

#include "console.h"
#include "edit_menu.h"
#include "module_view.h"
#include "tool_roles.h"

#include <cstdio>

namespace
{

constexpr int KEY_LINE_FEED = 10;
constexpr int KEY_CARRIAGE_RETURN = 13;

// "Mmm dd yyyy hh:mm:ss", the form of __DATE__ " " __TIME__, from the build's SOURCE_DATE_EPOCH.
const char BUILD_STAMP[] = OKT_BUILD_STAMP;

void print_main_screen(const okt_eep_modinfo *selected)
{
    puts("\n ---------- MAIN MENU --------------- \n");
    printf("SELECTED MODULE: '%s'\n", role_name(selected->role));
    puts("");
    view_raw_module_info(selected);
    puts("");
    puts(" h .. hexdump current modules eeprom");
    puts(" r .. re-read eeproms");
    puts("");
    puts(" 1 .. select CPU module");
    puts(" 2 .. select Motherboard");
    puts(" 3 .. select Extension Module 0");
    puts(" 4 .. select Extension Module 1");
    puts("");
    puts(" e .. edit current module information");
    puts("");
    puts(" W .. write current module information to EEPROM");
    puts("");
    puts(" q .. quit");
    printf("> ");
}

bool is_main_menu_key(int key)
{
    switch (key) {
    case '1':
    case '2':
    case '3':
    case '4':
    case 'h':
    case 'r':
    case 'e':
    case 'W':
    case '?':
    case 'q':
        return true;
    default:
        return false;
    }
}

// The next key the main menu acts on, or -1 at end of input. Line ends are passed over
// silently; any other unknown key gets a fresh prompt on the same line.
int read_main_menu_key()
{
    for (;;) {
        int key = getch();
        if (key < 0)
            return -1;
        key &= 0xFF;
        if (is_main_menu_key(key))
            return key;
        if (key != KEY_LINE_FEED && key != KEY_CARRIAGE_RETURN)
            printf("> ");
    }
}

// Main menu loop on the table, starting with the CPU module selected; returns on q or at end of
// input.
void main_menu(okt_eep_modinfo *table)
{
    okt_eep_modinfo *selected = okt_eep_get_cpu(table);
    for (;;) {
        print_main_screen(selected);
        switch (read_main_menu_key()) {
        case '1':
            selected = okt_eep_get_cpu(table);
            break;
        case '2':
            selected = okt_eep_get_baseboard(table);
            break;
        case '3':
            selected = okt_eep_get_extmod0(table);
            break;
        case '4':
            selected = okt_eep_get_extmod1(table);
            break;
        case 'h':
            hexdump_module(selected);
            break;
        case 'r':
            // Failures show in the reading report; the menu goes on with what the records hold.
            okt_eep_probe(table, 1);
            break;
        case 'e':
            edit_module(selected);
            if (input_ended())
                return;
            break;
        case 'W':
            write_entry(selected);
            break;
        case '?':
            puts("");
            break;
        case 'q':
        case -1:
            return;
        }
    }
}

} // namespace

int main_interactive(okt_eep_modinfo *table)
{
    puts("\n--------------------------------------------------");
    printf("OKT32 ID-EEPROM tool (LINUX) Version 1.50 built on %s\n\n", BUILD_STAMP);
    int result = okt_eep_probe(table, 1);
    if (result != 0)
        return result;
    main_menu(table);
    return 0;
}
