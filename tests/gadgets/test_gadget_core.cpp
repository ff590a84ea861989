// Tests of the gadget core: numbering and re-creation, the end of gadgets
// with their window, the generic operations and the current gadget list.
#include <gtest/gtest.h>

#include "gadget.h"
#include "gadget_support.h"
#include "standard_gadgets.h"
#include "window.h"

TEST(GadgetCore, NumbersNameOneGadgetUntilItsWindowGoes)
{
    HWND window = open_gadget_window(3, 320, 240);
    ASSERT_TRUE(window);

    // Re-creating number 9 destroys the first control and its queued events.
    ASSERT_TRUE(create_scroll_bar_gadget(9, 0, 0, 200, 16, 0, 100, 10));
    HWND first = gadget_handle(9);
    ASSERT_TRUE(first);
    post_gadget_event(first, 0);
    ASSERT_TRUE(create_check_box_gadget(9, 0, 20, 100, 20, "Box"));
    EXPECT_FALSE(IsWindow(first));
    HWND second = gadget_handle(9);
    EXPECT_TRUE(second && second != first);
    EXPECT_EQ(GetWindowLongPtrA(second, GWLP_ID), 9);
    EXPECT_TRUE(gadget_types(drain_events(), 9).empty()) << "the first gadget's event went with it";

    // A gadget under ANY_NUMBER gets a number that names it and its events.
    const auto dynamic = static_cast<int32_t>(create_check_box_gadget(ANY_NUMBER, 0, 50, 100, 20, "Dyn"));
    ASSERT_GE(dynamic, FIRST_DYNAMIC_NUMBER);
    HWND box = gadget_handle(dynamic);
    ASSERT_TRUE(box);
    PostMessageA(box, BM_CLICK, 0, 0);
    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([&] { return !gadget_types(seen, dynamic).empty(); }, &seen));
    EXPECT_EQ(gadget_types(seen, dynamic).front(), 0);
    for (const Event& e : seen) {
        if (e.object == dynamic) {
            EXPECT_EQ(e.window, 3);
        }
    }
    EXPECT_EQ(get_gadget_state(dynamic), 1);

    // Closing the window ends its gadgets: every operation reads 0.
    set_gadget_state(9, 1);
    close_window(3);
    for (int32_t number : {9, dynamic}) {
        EXPECT_EQ(gadget_handle(number), nullptr);
        EXPECT_EQ(get_gadget_state(number), 0);
        EXPECT_EQ(get_gadget_attribute(number, 1), 0);
        EXPECT_EQ(gadget_text(number), "");
        set_gadget_state(number, 1);  // does nothing, and does not crash
    }
    EXPECT_FALSE(IsWindow(second));
}

TEST(GadgetCore, GenericOperationsFallBackToTheWindow)
{
    HWND window = open_gadget_window(4, 320, 240);
    ASSERT_TRUE(window);
    ASSERT_TRUE(create_text_gadget(5, 10, 20, 120, 18, "Label"));
    EXPECT_EQ(gadget_text(5), "Label");
    set_gadget_text(5, "Longer label text");
    EXPECT_EQ(gadget_text(5), "Longer label text");
    set_gadget_text(5, nullptr);
    EXPECT_EQ(gadget_text(5), "");

    // Kept values come from the window's own rectangle in its parent.
    resize_gadget(5, KEEP_VALUE, KEEP_VALUE, KEEP_VALUE, KEEP_VALUE);
    RECT area;
    GetWindowRect(gadget_handle(5), &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(area.left, 10);
    EXPECT_EQ(area.top, 20);
    EXPECT_EQ(area.right - area.left, 120);
    EXPECT_EQ(area.bottom - area.top, 18);
    resize_gadget(5, 30, KEEP_VALUE, KEEP_VALUE, 40);
    GetWindowRect(gadget_handle(5), &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(area.left, 30);
    EXPECT_EQ(area.top, 20);
    EXPECT_EQ(area.right - area.left, 120);
    EXPECT_EQ(area.bottom - area.top, 40);

    // A kind without state or attributes reads 0; colours of other kinds -1.
    EXPECT_EQ(get_gadget_state(5), 0);
    EXPECT_EQ(get_gadget_attribute(5, 1), 0);
    ASSERT_TRUE(create_scroll_bar_gadget(6, 0, 100, 100, 16, 0, 10, 1));
    EXPECT_EQ(get_gadget_color(6, 1), -1);
    EXPECT_EQ(gadget_top_window(gadget_handle(6)), window);
    close_window(4);
}

TEST(GadgetCore, NewGadgetsGoIntoTheCurrentList)
{
    HWND first = open_gadget_window(5, 200, 100);
    HWND second = open_gadget_window(6, 200, 100);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(use_gadget_list(nullptr), second);
    ASSERT_TRUE(create_check_box_gadget(1, 0, 0, 80, 20, "a"));
    EXPECT_EQ(GetParent(gadget_handle(1)), second);

    EXPECT_EQ(use_gadget_list(first), second);
    ASSERT_TRUE(create_check_box_gadget(2, 0, 0, 80, 20, "b"));
    EXPECT_EQ(GetParent(gadget_handle(2)), first);
    EXPECT_EQ(use_gadget_list(second), first);
    EXPECT_EQ(use_gadget_list(nullptr), second);

    // A list that closes is no longer current; nothing is created into it.
    close_window(6);
    EXPECT_EQ(use_gadget_list(nullptr), nullptr);
    EXPECT_EQ(use_gadget_list(first), nullptr);
    EXPECT_EQ(use_gadget_list(nullptr), first);
    close_window(5);
}
