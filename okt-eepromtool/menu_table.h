// The editor's menus as tables: each row is a key, its line on the screen and its action, so that
// the screen's list, the key check and the dispatch all come from the same row.
#pragma once

#include "oktideep.h"

#include <cstddef>

// What the actions of a menu work on.
struct menu_context {
    okt_eep_modinfo *table; // the module table; null in a menu that works on one entry only
    okt_eep_modinfo *entry; // the selected module, or the one being edited
    bool leave;             // set by an action that ends the menu
};

struct menu_item {
    char key;         // picks the row (case-sensitive); 0 in an empty line
    const char *text; // the screen line " <key> .. <text>"; null for a key the screen does not list
    void (*act)(menu_context *context); // null in an empty line
};

// An empty line on the screen between two groups of rows; no key picks it.
constexpr menu_item MENU_EMPTY_LINE = {0, nullptr, nullptr};

// Prints the rows' screen lines and empty lines in table order, then the prompt "> ".
void print_menu(const menu_item *items, std::size_t count);

// Reads keys (getch, low 8 bits) until one picks a row, and runs that row's action. A line feed or
// a carriage return is passed over silently; any other key that no row has gets another "> " on
// the same line. Returns true while the menu goes on, false when it ends: at end of input (no
// action is run then), after an action that set context->leave, and after an action during which
// the input ended.
bool run_menu_choice(const menu_item *items, std::size_t count, menu_context *context);

// True when no two rows of the table share a key, for a static_assert beside each table.
template <std::size_t N>
constexpr bool menu_keys_unique(const menu_item (&items)[N])
{
    for (std::size_t i = 0; i < N; i++) {
        for (std::size_t j = i + 1; j < N; j++) {
            if (items[i].act && items[j].act && items[i].key == items[j].key)
                return false;
        }
    }
    return true;
}
