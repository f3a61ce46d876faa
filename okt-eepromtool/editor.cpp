#include "editor.h"

#include "edit_menu.h"
#include "menu_table.h"
#include "module_view.h"
#include "tool_roles.h"

#include <cstdio>
#include <iterator>

namespace
{

// "Mmm dd yyyy hh:mm:ss", the form of __DATE__ " " __TIME__, from the build's SOURCE_DATE_EPOCH.
const char BUILD_STAMP[] = OKT_BUILD_STAMP;

constexpr menu_item MAIN_MENU[] = {
    MENU_EMPTY_LINE,
    {'h', "hexdump current modules eeprom", [](menu_context *c) { hexdump_module(c->entry); }},
    // Failures show in the reading report; the menu goes on with what the records hold.
    {'r', "re-read eeproms", [](menu_context *c) { okt_eep_probe(c->table, 1); }},
    MENU_EMPTY_LINE,
    {'1', "select CPU module", [](menu_context *c) { c->entry = okt_eep_get_cpu(c->table); }},
    {'2', "select Motherboard",
     [](menu_context *c) { c->entry = okt_eep_get_baseboard(c->table); }},
    {'3', "select Extension Module 0",
     [](menu_context *c) { c->entry = okt_eep_get_extmod0(c->table); }},
    {'4', "select Extension Module 1",
     [](menu_context *c) { c->entry = okt_eep_get_extmod1(c->table); }},
    MENU_EMPTY_LINE,
    {'e', "edit current module information", [](menu_context *c) { edit_module(c->entry); }},
    MENU_EMPTY_LINE,
    {'W', "write current module information to EEPROM",
     [](menu_context *c) { write_entry(c->entry); }},
    MENU_EMPTY_LINE,
    {'q', "quit", [](menu_context *c) { c->leave = true; }},
    // Keys the screen does not list.
    {'?', nullptr, [](menu_context *) { puts(""); }},
};
static_assert(menu_keys_unique(MAIN_MENU), "one row per key");

void print_main_screen(const okt_eep_modinfo *selected)
{
    puts("\n ---------- MAIN MENU --------------- \n");
    printf("SELECTED MODULE: '%s'\n", role_name(selected->role));
    puts("");
    view_raw_module_info(selected);
    print_menu(MAIN_MENU, std::size(MAIN_MENU));
}

// Main menu loop on the table, starting with the CPU module selected; returns on q or at end of
// input.
void main_menu(okt_eep_modinfo *table)
{
    menu_context c = {table, okt_eep_get_cpu(table), false};
    do {
        print_main_screen(c.entry);
    } while (run_menu_choice(MAIN_MENU, std::size(MAIN_MENU), &c));
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
