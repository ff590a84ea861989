// menus.cpp: the menu table, the builder and the menu window procedure.
#include "menus.h"

#include "registry.h"

namespace {

struct MenuBuilder {
    MenuRecord* current_record;  // the menu being built
    HMENU current_menu;          // receives the next entry
    HMENU parent_stack[MENU_MAXIMUM_DEPTH];  // the menus one level up, innermost last
    int32_t depth;               // 0: the current menu is the bar
};

ObjectTable* g_menus = nullptr;
MenuBuilder* g_builder = nullptr;

constexpr int32_t MENU_TABLE_GROWTH = 16;
constexpr const char* MENU_CALLBACK_PROPERTY = "vx_menu_callback";

void release_menu_record(int32_t number, MenuRecord* record)
{
    if (record->item_heap) HeapDestroy(record->item_heap);
    // The builder must not keep building into a record that is gone.
    if (g_builder && g_builder->current_record == record) {
        g_builder->current_record = nullptr;
        g_builder->current_menu = nullptr;
        g_builder->depth = 0;
    }
    release_object(g_menus, number);
}

// Installed once on every window that gets a bar: when the window goes, the
// system destroys its bar, and the menu records that named it go too.
LRESULT CALLBACK menu_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(window, MENU_CALLBACK_PROPERTY));
    if (message == WM_NCDESTROY && g_menus) {
        HMENU bar = GetMenu(window);
        begin_object_iteration(g_menus);
        int32_t number = 0;
        while (auto* record = static_cast<MenuRecord*>(next_object(g_menus, &number)))
            if (bar && record->bar == bar) release_menu_record(number, record);
        RemovePropA(window, MENU_CALLBACK_PROPERTY);
    }
    if (!previous) return DefWindowProcA(window, message, wparam, lparam);
    return CallWindowProcA(previous, window, message, wparam, lparam);
}

void attach_bar(const MenuRecord* record)
{
    if (record->window) SetMenu(record->window, record->bar);
}

}  // namespace

void init_menu_library()
{
    if (g_menus) return;
    g_menus = create_object_table(sizeof(MenuRecord), MENU_TABLE_GROWTH, free_menu);
    g_builder = static_cast<MenuBuilder*>(create_library_state(sizeof(MenuBuilder), nullptr, nullptr));
}

intptr_t create_menu(int32_t number, HWND window)
{
    if (!g_builder) return 0;
    int32_t dynamic_number = 0;
    auto* record = static_cast<MenuRecord*>(obtain_object(g_menus, number, &dynamic_number));
    if (!record) return 0;
    const bool dynamic = number == ANY_NUMBER;
    if (dynamic) number = dynamic_number;
    HMENU bar = CreateMenu();
    if (!bar) {
        release_object(g_menus, number);
        return 0;
    }
    record->bar = bar;
    record->window = window;
    // The new bar is where building starts; levels left open in an earlier
    // menu must not lead close_submenu back into that menu.
    g_builder->current_record = record;
    g_builder->current_menu = bar;
    g_builder->depth = 0;

    if (window && !GetPropA(window, MENU_CALLBACK_PROPERTY)) {
        LONG_PTR previous =
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(menu_window_procedure));
        if (previous) SetPropA(window, MENU_CALLBACK_PROPERTY, reinterpret_cast<HANDLE>(previous));
    }
    return dynamic ? number : reinterpret_cast<intptr_t>(bar);
}

HMENU open_submenu(const char* text)
{
    if (!g_builder || !g_builder->current_menu || g_builder->depth >= MENU_MAXIMUM_DEPTH) return nullptr;
    HMENU pulldown = CreateMenu();
    if (!pulldown) return nullptr;
    if (!AppendMenuA(g_builder->current_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(pulldown),
                     text ? text : "")) {
        DestroyMenu(pulldown);
        return nullptr;
    }
    g_builder->parent_stack[g_builder->depth++] = g_builder->current_menu;
    g_builder->current_menu = pulldown;
    return pulldown;
}

void menu_title(const char* text)
{
    if (!g_builder || !g_builder->current_record) return;
    MenuRecord* record = g_builder->current_record;
    if (g_builder->depth > 0) {
        g_builder->depth = 0;
        g_builder->current_menu = record->bar;
    }
    open_submenu(text);
    attach_bar(record);
}

int32_t menu_item(int32_t number, const char* text)
{
    if (!g_builder || !g_builder->current_record) return 0;
    AppendMenuA(g_builder->current_menu, MF_STRING, static_cast<UINT_PTR>(static_cast<uint32_t>(number)),
                text ? text : "");
    const MenuRecord* record = g_builder->current_record;
    if (!record->window) return 0;
    return SetMenu(record->window, record->bar);
}

void menu_separator()
{
    if (g_builder && g_builder->current_record)
        AppendMenuA(g_builder->current_menu, MF_SEPARATOR, static_cast<UINT_PTR>(-1), nullptr);
}

void close_submenu()
{
    if (g_builder && g_builder->depth > 0) g_builder->current_menu = g_builder->parent_stack[--g_builder->depth];
}

void free_menu(int32_t number)
{
    auto* record = static_cast<MenuRecord*>(find_object(g_menus, number));
    if (!record) return;
    // Only the bar that is attached is taken off the window.
    if (record->window && GetMenu(record->window) == record->bar) SetMenu(record->window, nullptr);
    DestroyMenu(record->bar);
    release_menu_record(number, record);
}
