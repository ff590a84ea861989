// main_window.cpp: the main window with its menu and gadgets, made from the
// layout tables.
#include "canvas.h"
#include "menus.h"
#include "standard_gadgets.h"
#include "strings.h"
#include "viewer.h"
#include "window.h"

void set_number_text(int32_t gadget, int32_t value)
{
    StringMark mark;
    quad_to_text(value, mark.position());
    set_gadget_text(gadget, string_at(mark.position()));
}

namespace {

void build_menu()
{
    if (!create_menu(MAIN_WINDOW, window_handle(MAIN_WINDOW))) return;
    for (const MenuLayout& entry : MENU_LAYOUT) {
        switch (entry.step) {
        case MenuStep::title: menu_title(entry.text); break;
        case MenuStep::item: menu_item(entry.item, entry.text); break;
        case MenuStep::separator: menu_separator(); break;
        case MenuStep::close_submenu: close_submenu(); break;
        }
    }
}

void create_gadgets()
{
    for (const GadgetLayout& g : GADGET_LAYOUT) {
        switch (g.type) {
        case GadgetType::canvas:
            create_canvas_gadget(g.number, g.x, g.y, g.width, g.height);
            break;
        case GadgetType::scroll_bar:
            create_scroll_bar_gadget(g.number, g.x, g.y, g.width, g.height, g.first, g.second, g.third, g.flags);
            break;
        case GadgetType::check_box:
            create_check_box_gadget(g.number, g.x, g.y, g.width, g.height, g.text, g.flags);
            break;
        case GadgetType::text:
            create_text_gadget(g.number, g.x, g.y, g.width, g.height, g.text, g.flags);
            break;
        case GadgetType::spin:
            create_spin_gadget(g.number, g.x, g.y, g.width, g.height, g.first, g.second, g.flags);
            break;
        }
        if (g.grid_size) {
            set_gadget_state(g.number, DEFAULT_GRID_SIZE);
            set_number_text(g.number, DEFAULT_GRID_SIZE);
        }
    }
}

}  // namespace

bool open_main_window()
{
    if (!open_window(MAIN_WINDOW, 0, 0, MAIN_WINDOW_WIDTH, MAIN_WINDOW_HEIGHT, "Bitloupe",
                     WINDOW_SCREEN_CENTRED | WS_CAPTION | WS_SYSMENU))
        return false;
    // Without a menu the program still runs: files can be dropped.
    build_menu();
    // Gadgets that cannot be made are left out.
    create_gadgets();
    return true;
}
