// menus.h: menu bars built in the order the application describes them.
//
// create_menu makes a bar for a window and points the builder at it; titles,
// items, separators and sub-menus then go where the builder points. Selecting
// an item produces EVENT_MENU with the item's number (16 bits) as object.
#pragma once

#include <windows.h>

#include <cstdint>

struct MenuRecord {
    HMENU bar;           // non-zero exactly while the menu exists
    HWND window;         // the window the bar belongs to
    int32_t owner_drawn; // items drawn by the program itself
    HANDLE item_heap;    // private heap of owner-drawn item data, or null
    int32_t item_style;  // style word of owner-drawn items
};

// Nesting deeper than this refuses further sub-menus.
constexpr int32_t MENU_MAXIMUM_DEPTH = 64;

void init_menu_library();
// The bar's handle, the dynamic number for ANY_NUMBER, or 0.
intptr_t create_menu(int32_t number, HWND window);
void menu_title(const char* text);
int32_t menu_item(int32_t number, const char* text);
void menu_separator();
// The new pull-down's handle, or 0 (also when nested MENU_MAXIMUM_DEPTH deep).
HMENU open_submenu(const char* text);
void close_submenu();
void free_menu(int32_t number);
