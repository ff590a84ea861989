// Tests of menu bars: the viewer's layout, selection with the keyboard, and
// the builder's levels.
#include <gtest/gtest.h>

#include "menus.h"
#include "ui_support.h"
#include "window.h"

namespace {

// Enters the menu bar as F10 does, presses the keys, and returns the menu
// event that the selection produced.
Event select_with_keys(HWND window, std::initializer_list<WPARAM> keys)
{
    drain_events();
    PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
    for (WPARAM key : keys) {
        PostMessageA(window, WM_KEYDOWN, key, 1);
        PostMessageA(window, WM_KEYUP, key, 0xC0000001);
    }
    std::vector<Event> seen;
    pump_until([&] { return contains(seen, EVENT_MENU); }, &seen);
    std::vector<Event> menu = only(seen, {EVENT_MENU}, 1);
    return menu.empty() ? Event{} : menu.front();
}

}  // namespace

TEST(Menu, ViewerBarSelectsEntriesOfTheBarAndOfThePullDown)
{
    HWND window = open_test_window(1);
    ASSERT_TRUE(window);
    const auto bar = reinterpret_cast<HMENU>(create_menu(0, window));
    ASSERT_TRUE(bar);
    EXPECT_EQ(GetMenu(window), nullptr) << "shown once it has an entry";
    menu_title("Project");
    menu_item(1, "Open..");
    menu_item(2, "Save image..");
    menu_item(3, "Save binary..");
    menu_separator();
    menu_item(4, "Quit");
    close_submenu();
    menu_item(5, "x1");
    menu_item(6, "x2");
    EXPECT_TRUE(menu_item(7, "x8"));
    ASSERT_EQ(GetMenu(window), bar);
    ASSERT_EQ(GetMenuItemCount(bar), 4);
    HMENU project = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(project), 5);
    EXPECT_TRUE(GetMenuState(project, 3, MF_BYPOSITION) & MF_SEPARATOR);

    EXPECT_EQ(select_with_keys(window, {VK_RIGHT, VK_RIGHT, VK_RETURN}), (Event{EVENT_MENU, 6, 1, -1}));
    EXPECT_EQ(select_with_keys(window, {VK_DOWN, VK_DOWN, VK_RETURN}), (Event{EVENT_MENU, 2, 1, -1}));

    // A second bar for the window does not subclass it again; freeing a bar
    // takes off only the bar that is attached.
    const LONG_PTR procedure = GetWindowLongPtrA(window, GWLP_WNDPROC);
    ASSERT_TRUE(create_menu(1, window));
    menu_item(9, "Only");
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), procedure);
    free_menu(0);
    EXPECT_TRUE(GetMenu(window));
    free_menu(1);
    EXPECT_EQ(GetMenu(window), nullptr);
    EXPECT_EQ(menu_item(10, "Nowhere"), 0);
    close_window(1);
}

TEST(Menu, BuilderFollowsTitlesLevelsAndTheNestingLimit)
{
    HWND window = open_test_window(1);
    ASSERT_TRUE(window);
    const auto bar = reinterpret_cast<HMENU>(create_menu(2, window));
    ASSERT_TRUE(bar);
    close_submenu();  // at the bar already: nothing changes
    menu_item(1, "In the bar");
    menu_title("First");
    menu_title("Second");
    menu_item(2, "In Second");
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(bar, 1)), 0);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(bar, 2)), 1);

    HMENU deepest = nullptr;
    for (int level = 1; level < MENU_MAXIMUM_DEPTH; ++level) deepest = open_submenu("Deeper");
    ASSERT_TRUE(deepest);
    EXPECT_EQ(open_submenu("Too deep"), nullptr);
    menu_item(3, "Deepest");
    EXPECT_EQ(GetMenuItemID(deepest, 0), 3u);

    // A new bar starts at its own top, whatever the last one left open.
    const auto other = reinterpret_cast<HMENU>(create_menu(3, window));
    close_submenu();
    menu_item(5, "In the other bar");
    EXPECT_EQ(GetMenuItemCount(deepest), 1);
    EXPECT_EQ(GetMenuItemID(other, 0), 5u);

    // The bars go with their window; building on afterwards is harmless.
    close_window(1);
    EXPECT_EQ(menu_item(4, "After"), 0);
    menu_title("After");
    menu_separator();
}
