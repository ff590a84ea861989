// Tests of the window procedure's routing to gadgets and of the keyboard
// focus movement with Tab and Shift+Tab.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gadget.h"
#include "ui_support.h"
#include "window.h"

namespace {

constexpr intptr_t ANSWERS = 1;  // kind word 1 of a test gadget that answers its messages
constexpr LRESULT ANSWER = 0x1234;

std::vector<int32_t> g_commands;  // gadgets whose parent_message saw WM_COMMAND
int g_notifications = 0;          // WM_NOTIFY messages that reached a parent_message

LRESULT test_parent_message(GadgetRecord* gadget, HWND, UINT message, WPARAM, LPARAM)
{
    if (message == WM_COMMAND) g_commands.push_back(static_cast<int32_t>(GetWindowLongPtrA(gadget->window, GWLP_ID)));
    if (message == WM_NOTIFY) ++g_notifications;
    return gadget->kind_word_1 == ANSWERS ? ANSWER : NOT_HANDLED;
}

GadgetKind make_test_kind()
{
    GadgetKind kind{};
    kind.kind_number = GADGET_KIND_BUTTON;
    kind.size = sizeof(GadgetKind);
    kind.parent_message = test_parent_message;
    return kind;
}
const GadgetKind TEST_KIND = make_test_kind();

HWND create_button(HWND parent, DWORD style = WS_TABSTOP)
{
    return CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE | style, 0, 0, 40, 20, parent,
                           reinterpret_cast<HMENU>(intptr_t{-1}), GetModuleHandleA(nullptr), nullptr);
}

HWND create_gadget(int32_t number, HWND parent, intptr_t behaviour)
{
    HWND control = create_button(parent);
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    record->kind_word_1 = behaviour;
    register_gadget(number, record, control, &TEST_KIND);
    return control;
}

// Clicks a button from inside a wait; returns the gadget events it produced.
std::vector<Event> click(HWND button)
{
    drain_events();
    g_commands.clear();
    PostMessageA(button, BM_CLICK, 0, 0);
    return only(drain_events(), {EVENT_GADGET}, 7);
}

// Presses Tab (or Shift+Tab) on the focused window, as the keyboard would;
// true when this produced no application event.
bool tab(bool shift)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    drain_events();
    PostMessageA(GetFocus() ? GetFocus() : GetActiveWindow(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    std::vector<Event> events = drain_events();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    return !contains(events, EVENT_MENU) && !contains(events, EVENT_GADGET);
}

// Sends from a thread of its own; this thread handles the send as it waits.
LRESULT send_from_other_thread(HWND window, UINT message, LPARAM lparam)
{
    std::atomic<LRESULT> result{-1};
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = SendMessageA(window, message, 0, lparam);
        done = true;
    });
    for (MSG none; !done;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        PeekMessageA(&none, nullptr, 0, 0, PM_NOREMOVE);
    }
    sender.join();
    return result;
}

}  // namespace

// WM_NOTIFY and WM_GETMINMAXINFO are read only when sent within the window's
// thread: posted or sent from another thread, even a well-formed structure is
// refused, and a wild value is never read.
TEST(Routing, PointerMessagesAreReadOnlyWhenSentWithinTheThread)
{
    HWND window = open_test_window(10);
    static NMHDR header;  // outlives the posted messages
    header = NMHDR{create_gadget(24, window, ANSWERS), 24, 1};
    const auto pointer = reinterpret_cast<LPARAM>(&header);
    g_notifications = 0;
    EXPECT_EQ(SendMessageA(window, WM_NOTIFY, 24, pointer), ANSWER);
    for (LPARAM value : {pointer, LPARAM{0}, LPARAM{1}, static_cast<LPARAM>(0x4141414141414141)})
        PostMessageA(window, WM_NOTIFY, 24, value);
    drain_events();
    EXPECT_EQ(send_from_other_thread(window, WM_NOTIFY, pointer), 0);
    EXPECT_EQ(g_notifications, 1) << "only the first, sent within the thread, is routed";

    find_window(10)->minimum_width = 123;
    MINMAXINFO info{};
    SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 123);
    info = MINMAXINFO{};
    send_from_other_thread(window, WM_GETMINMAXINFO, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 0) << "written from another thread";
    close_window(10);
}

TEST(Routing, ControlMessagesReachTheGadgetThatOwnsTheControl)
{
    HWND window = open_test_window(7);
    ASSERT_TRUE(window);
    HWND answering = create_gadget(21, window, ANSWERS);
    HWND declining = create_gadget(22, window, 0);
    HWND foreign = create_gadget(23, window, ANSWERS);
    SetPropA(foreign, GADGET_ID_PROPERTY, reinterpret_cast<HANDLE>(99));

    EXPECT_TRUE(click(answering).empty());
    EXPECT_EQ(g_commands, std::vector<int32_t>{21});
    EXPECT_EQ(click(declining), std::vector<Event>{(Event{EVENT_GADGET, 22, 7, BN_CLICKED})});
    EXPECT_EQ(g_commands, std::vector<int32_t>{22});
    EXPECT_EQ(click(foreign), std::vector<Event>{(Event{EVENT_GADGET, 23, 7, BN_CLICKED})});
    EXPECT_TRUE(g_commands.empty()) << "\"VX_ID\" differs from the identifier: not routed";

    // The handler's result is the message's; a declined message gets the
    // default processing, never the internal NOT_HANDLED.
    EXPECT_EQ(SendMessageA(window, WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(answering)), ANSWER);
    EXPECT_EQ(SendMessageA(window, WM_VSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(declining)), 0);

    // A gadget that goes takes its queued events with it.
    drain_events();
    post_event(EVENT_GADGET, 22, 7, 0);
    post_event(EVENT_GADGET, 21, 7, 0);
    DestroyWindow(declining);
    EXPECT_EQ(gadget_handle(22), nullptr);
    EXPECT_EQ(only(drain_events(), {EVENT_GADGET}, 7), std::vector<Event>{(Event{EVENT_GADGET, 21, 7, 0})});
    close_window(7);
    EXPECT_EQ(gadget_handle(21), nullptr) << "gadgets end with their window";
}

TEST(Focus, TabAndShiftTabCycleOverEnabledVisibleTabStops)
{
    HWND window = open_test_window(8);
    ASSERT_TRUE(window);
    SetActiveWindow(window);
    HWND first = create_button(window);
    EnableWindow(create_button(window), FALSE);
    ShowWindow(create_button(window), SW_HIDE);
    create_button(window, 0);
    HWND last = create_button(window);
    SetFocus(window);

    EXPECT_TRUE(tab(false));
    EXPECT_EQ(GetFocus(), first) << "nothing focused: the first stop";
    EXPECT_TRUE(tab(false));
    EXPECT_EQ(GetFocus(), last);
    EXPECT_TRUE(tab(false));
    EXPECT_EQ(GetFocus(), first) << "wraps to the first";
    EXPECT_TRUE(tab(true));
    EXPECT_EQ(GetFocus(), last) << "wraps back to the last";
    EXPECT_TRUE(tab(true));
    EXPECT_EQ(GetFocus(), first);

    // A composite control is one stop: from inside it, both ways leave it.
    HWND address = CreateWindowExA(0, "SysIPAddress32", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 30, 120, 20,
                                   window, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(address);
    HWND part = GetWindow(address, GW_CHILD);
    ASSERT_TRUE(part);
    SetFocus(part);
    tab(true);
    EXPECT_EQ(GetFocus(), last);
    SetFocus(part);
    tab(false);
    EXPECT_EQ(GetFocus(), first);

    // Reactivation gives the focus back to the control that had it.
    SetFocus(last);
    ASSERT_TRUE(open_test_window(9));
    close_window(9);
    SetActiveWindow(window);
    EXPECT_EQ(GetFocus(), last);
    EXPECT_TRUE(contains(drain_events(), EVENT_ACTIVATE));
    close_window(8);
}
