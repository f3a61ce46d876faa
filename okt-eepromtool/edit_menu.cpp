#include "edit_menu.h"

#include "field_dialogs.h"
#include "menu_table.h"
#include "module_view.h"

#include <cstdio>
#include <iterator>

namespace
{

void editing_done(menu_context *c)
{
    puts("\n----------- EDIT MODULE DONE ---------------");
    c->leave = true;
}

void show_again(menu_context *) {}

constexpr menu_item EDIT_MENU[] = {
    MENU_EMPTY_LINE,
    {'1', "clear bootcounter", [](menu_context *c) { clear_bootcntr(c->entry); }},
    {'2', "edit bootcounter", [](menu_context *c) { edit_bootcntr(c->entry); }},
    {'3', "edit manufacture date", [](menu_context *c) { edit_manuf_date(c->entry); }},
    {'4', "edit maintainance date", [](menu_context *c) { edit_maint_date(c->entry); }},
    {'5', "select description string", [](menu_context *c) { select_desc_string(c->entry); }},
    {'6', "edit revision string", [](menu_context *c) { edit_rev_string(c->entry); }},
    {'7', "edit serial number", [](menu_context *c) { edit_serial(c->entry); }},
    MENU_EMPTY_LINE,
    {'q', "editing done", editing_done},
    // Keys the screen does not list.
    {'?', nullptr, show_again},
    {'h', nullptr, show_again},
};
static_assert(menu_keys_unique(EDIT_MENU), "one row per key");

void print_edit_screen(const okt_eep_modinfo *entry)
{
    puts("\n------------------ EDIT MODULE ---------------\n");
    print_module_line(entry);
    view_raw_module_info(entry);
    print_menu(EDIT_MENU, std::size(EDIT_MENU));
}

} // namespace

void edit_module(okt_eep_modinfo *entry)
{
    menu_context c = {nullptr, entry, false};
    do {
        print_edit_screen(entry);
    } while (run_menu_choice(EDIT_MENU, std::size(EDIT_MENU), &c));
}
