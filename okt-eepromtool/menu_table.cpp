#include "menu_table.h"

#include "console.h"

#include <cstdio>

namespace
{

constexpr int KEY_CODE_MASK = 0xFF; // the menus act on a key's low 8 bits

// The row the key picks, or null.
const menu_item *find_item(const menu_item *items, std::size_t count, int key)
{
    for (std::size_t i = 0; i < count; i++) {
        // An empty line has no action: a NUL key must not pick it.
        if (items[i].act && static_cast<unsigned char>(items[i].key) == key)
            return &items[i];
    }
    return nullptr;
}

// The next row picked, or null at end of input.
const menu_item *read_menu_key(const menu_item *items, std::size_t count)
{
    for (;;) {
        int key = getch();
        if (key < 0)
            return nullptr;
        key &= KEY_CODE_MASK;
        if (const menu_item *item = find_item(items, count, key))
            return item;
        if (key != KEY_LINE_FEED && key != KEY_CARRIAGE_RETURN)
            printf("> ");
    }
}

} // namespace

void print_menu(const menu_item *items, std::size_t count)
{
    for (std::size_t i = 0; i < count; i++) {
        if (!items[i].act)
            puts("");
        else if (items[i].text)
            printf(" %c .. %s\n", items[i].key, items[i].text);
    }
    printf("> ");
}

bool run_menu_choice(const menu_item *items, std::size_t count, menu_context *context)
{
    const menu_item *item = read_menu_key(items, count);
    if (!item)
        return false;
    item->act(context);
    // A dialog cut short by the end of input ends this menu, and so every menu around it.
    return !context->leave && !input_ended();
}
