// Tests of numbered windows: the close box, size events, geometry and the
// reuse of window numbers.
#include <gtest/gtest.h>

#include <string>

#include "registry.h"
#include "ui_support.h"
#include "window.h"

namespace {

std::vector<int32_t> size_events(int32_t window)
{
    std::vector<int32_t> codes;
    for (const Event& e : only(drain_events(), {EVENT_SIZE, EVENT_MINIMIZE, EVENT_MAXIMIZE, EVENT_RESTORE}, window))
        codes.push_back(e.code);
    return codes;
}

RECT frame_of(HWND window)
{
    RECT frame{};
    GetWindowRect(window, &frame);
    return frame;
}

bool client_is(HWND window, LONG width, LONG height)
{
    RECT client{};
    GetClientRect(window, &client);
    return client.right == width && client.bottom == height;
}

std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

}  // namespace

TEST(Window, CloseBoxAndSizeChangesBecomeEvents)
{
    HWND window = open_test_window(3, WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(window);
    drain_events();
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(only(drain_events(), {EVENT_CLOSE}, 3), std::vector<Event>{(Event{EVENT_CLOSE, 3, 3, 0})});
    EXPECT_TRUE(IsWindowVisible(window)) << "the application decides about closing";

    SendMessageA(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_EQ(size_events(3), (std::vector<int32_t>{EVENT_MAXIMIZE, EVENT_SIZE, EVENT_RESTORE, EVENT_SIZE}));
    SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(size_events(3), std::vector<int32_t>{EVENT_MINIMIZE});
    SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_EQ(size_events(3), (std::vector<int32_t>{EVENT_RESTORE, EVENT_SIZE}));
    close_window(3);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(window_handle(3), nullptr);
}

TEST(Window, OpeningPlacesAndSizesTheWindow)
{
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height = GetSystemMetrics(SM_CYSCREEN);

    ASSERT_TRUE(open_window(4, 0, 0, 300, 200, "Centred", WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTRED));
    HWND window = window_handle(4);
    EXPECT_TRUE(client_is(window, 300, 200));
    RECT frame = frame_of(window);
    EXPECT_EQ(frame.left, (screen_width - (frame.right - frame.left)) / 2);
    EXPECT_EQ(frame.top, (screen_height - (frame.bottom - frame.top)) / 2);
    EXPECT_EQ(class_of(window), "WindowClass_4");
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(window, "VX_WindowID")), 5);
    EXPECT_TRUE(GetClassLongPtrA(window, GCLP_HICON)) << "icon resource 1 is linked in";

    ASSERT_TRUE(open_window(4, 0, 0, screen_width + 500, 100, "Wide", WINDOW_SCREEN_CENTRED));
    frame = frame_of(window_handle(4));
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.right - frame.left, screen_width);

    ASSERT_TRUE(open_window(4, 20, 30, 300, 200, "Tool", WINDOW_TOOL | WS_SYSMENU | WS_MINIMIZEBOX));
    HWND tool = window_handle(4);
    EXPECT_TRUE(client_is(tool, 300, 200));
    EXPECT_EQ(frame_of(tool).left, 20);
    EXPECT_TRUE(GetWindowLongPtrA(tool, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindowLongPtrA(tool, GWL_STYLE) & (WS_CAPTION | WS_MINIMIZEBOX), WS_CAPTION);

    // Centred on its owner; with no style given, it still gets a caption.
    ASSERT_TRUE(open_window(6, 0, 0, 160, 80, "Owned", WINDOW_PARENT_CENTRED, tool));
    HWND owned = window_handle(6);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), tool);
    RECT outer = frame_of(tool), inner = frame_of(owned);
    EXPECT_EQ(inner.left, outer.left + ((outer.right - outer.left) - (inner.right - inner.left)) / 2);
    EXPECT_EQ(inner.top, outer.top + ((outer.bottom - outer.top) - (inner.bottom - inner.top)) / 2);
    EXPECT_EQ(GetWindowLongPtrA(owned, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
    close_window(6);

    ASSERT_TRUE(open_window(4, POSITION_DEFAULT, 50, 200, 100, "Default", WS_CAPTION | WINDOW_INVISIBLE));
    window = window_handle(4);
    EXPECT_FALSE(IsWindowVisible(window));
    frame = frame_of(window);
    EXPECT_TRUE(frame.left >= 0 && frame.left < screen_width && frame.top >= 0 && frame.top < screen_height);
    close_window(4);
}

TEST(Window, ReusingANumberClosesTheOldWindowAndDropsItsEvents)
{
    HWND first = open_test_window(5);
    ASSERT_TRUE(first);
    drain_events();
    post_event(0x7001, 1, 5, 0);
    post_event(0x7002, 1, 6, 0);
    HWND second = open_test_window(5);
    ASSERT_TRUE(second);
    EXPECT_FALSE(IsWindow(first));
    std::vector<Event> events = drain_events();
    EXPECT_FALSE(contains(events, 0x7001));
    EXPECT_TRUE(contains(events, 0x7002));

    EXPECT_EQ(set_window_title(5, "Renamed"), 1);
    char title[32] = {};
    GetWindowTextA(second, title, sizeof(title));
    EXPECT_STREQ(title, "Renamed");
    EXPECT_EQ(set_window_title(5, nullptr), 0);
    close_window(5);
    EXPECT_EQ(set_window_title(5, "Gone"), 0);
    EXPECT_EQ(disable_window(5, 1), 0);

    auto number = static_cast<int32_t>(open_window(ANY_NUMBER, 10, 10, 50, 50, "Dynamic", WS_CAPTION));
    ASSERT_GE(number, FIRST_DYNAMIC_NUMBER);
    HWND dynamic = window_handle(number);
    EXPECT_EQ(class_of(dynamic), "WindowClass_" + std::to_string(number));
    post_event(0x7003, 1, number, 0);
    close_window(number);
    EXPECT_FALSE(IsWindow(dynamic));
    EXPECT_FALSE(contains(drain_events(), 0x7003));
}
