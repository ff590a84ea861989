// Tests of the standard gadgets with real controls: scroll bar ranges and
// scroll events, check box states, spin ranges, arrows and field events,
// text colours.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "gadget.h"
#include "gadget_support.h"
#include "standard_gadgets.h"
#include "window.h"

namespace {

// What a hook saw after each scroll message reached the window: the scroll
// code and the event that it queued.
struct ScrollStep {
    int32_t code;
    int32_t event;
    int32_t object;
    int32_t type;
};
std::vector<ScrollStep> g_steps;

LRESULT CALLBACK after_scroll(int code, WPARAM wparam, LPARAM lparam)
{
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && message->message == WM_HSCROLL) {
        // The queue holds the event just posted; taking it keeps the next
        // one from merging with it.
        const int32_t event = wait_event_timeout(0);
        g_steps.push_back({LOWORD(message->wParam), event, event_gadget(), event_type()});
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

void send_mouse(DWORD flags, int32_t x, int32_t y)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    const int32_t width = GetSystemMetrics(SM_CXSCREEN);
    const int32_t height = GetSystemMetrics(SM_CYSCREEN);
    input.mi.dx = (x * 65536 + width / 2) / width;
    input.mi.dy = (y * 65536 + height / 2) / height;
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof(input));
}

// The text of a control as the application would read it.
std::string text_of(HWND window)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

LRESULT CALLBACK setter_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_APP) set_gadget_text(static_cast<int32_t>(wparam), "42");
    return DefWindowProcA(window, message, wparam, lparam);
}

// The arrow events of spin 9 among `events` (its field's notifications left out).
std::vector<int32_t> arrow_types(const std::vector<Event>& events)
{
    std::vector<int32_t> types;
    for (int32_t type : gadget_types(events, 9))
        if (type == SPIN_UP || type == SPIN_DOWN) types.push_back(type);
    return types;
}

}  // namespace

TEST(StandardGadgets, ScrollBarRangesAndEvents)
{
    HWND window = open_gadget_window(1, 400, 300);
    ASSERT_TRUE(window);
    ASSERT_TRUE(create_scroll_bar_gadget(1, 380, 0, 16, 280, 0, 481, 32, SCROLL_BAR_VERTICAL));
    ASSERT_TRUE(create_scroll_bar_gadget(2, 0, 280, 300, 16, 1, 96, 16));
    EXPECT_EQ(get_gadget_attribute(1, SCROLL_BAR_MAXIMUM), 480);
    EXPECT_EQ(get_gadget_attribute(1, SCROLL_BAR_PAGE), 32);
    for (auto [set, expected] : {std::pair{449, 449}, {450, 449}, {1000, 449}, {-5, 0}, {17, 17}}) {
        set_gadget_state(1, set);
        EXPECT_EQ(get_gadget_state(1), expected) << set;
    }
    set_gadget_state(2, 0);
    EXPECT_EQ(get_gadget_state(2), 1);
    set_gadget_state(2, 200);
    EXPECT_EQ(get_gadget_state(2), 80);

    // Attribute changes keep the other bound.
    set_gadget_attribute(2, SCROLL_BAR_MAXIMUM, 50);
    EXPECT_EQ(get_gadget_attribute(2, SCROLL_BAR_MINIMUM), 1);
    EXPECT_EQ(get_gadget_attribute(2, SCROLL_BAR_MAXIMUM), 49);
    EXPECT_EQ(get_gadget_state(2), 34);
    set_gadget_attribute(2, SCROLL_BAR_MAXIMUM, 96);

    // Line and page actions move and report; the end of a scroll reports
    // without moving.
    drain_events();
    HWND bar = gadget_handle(1);
    SendMessageA(window, WM_VSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(get_gadget_state(1), 18);
    SendMessageA(window, WM_VSCROLL, SB_PAGEUP, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(get_gadget_state(1), 0);
    EXPECT_EQ(gadget_types(drain_events(), 1), std::vector<int32_t>{0});  // equal events merge in the queue
    SendMessageA(window, WM_VSCROLL, SB_ENDSCROLL, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(get_gadget_state(1), 0);
    EXPECT_EQ(gadget_types(drain_events(), 1), std::vector<int32_t>{0});

    // A real drag of the width bar's thumb: every track step and the end
    // each queue one event of sub-type 0, and the thumb's place sticks.
    set_gadget_state(2, 1);
    RECT area;
    GetWindowRect(gadget_handle(2), &area);
    const int32_t arrow = GetSystemMetrics(SM_CXHSCROLL);
    const int32_t y = (area.top + area.bottom) / 2;
    const int32_t start = area.left + arrow + 4;
    drain_events();
    g_steps.clear();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, after_scroll, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    send_mouse(0, start, y);
    send_mouse(MOUSEEVENTF_LEFTDOWN, start, y);
    send_mouse(0, start + 40, y);
    send_mouse(0, start + 80, y);
    send_mouse(MOUSEEVENTF_LEFTUP, start + 80, y);
    std::vector<Event> seen;
    const bool ended = pump_until(
        [] { return !g_steps.empty() && g_steps.back().code == SB_ENDSCROLL; }, &seen);
    UnhookWindowsHookEx(hook);
    ASSERT_TRUE(ended);
    int tracks = 0;
    for (const ScrollStep& step : g_steps) {
        EXPECT_EQ(step.event, EVENT_GADGET) << "scroll code " << step.code;
        EXPECT_EQ(step.object, 2);
        EXPECT_EQ(step.type, 0);
        if (step.code == SB_THUMBTRACK) ++tracks;
    }
    EXPECT_GE(tracks, 2);
    EXPECT_GT(get_gadget_state(2), 1);
    EXPECT_LE(get_gadget_state(2), 80);
    close_window(1);
}

TEST(StandardGadgets, CheckBoxStates)
{
    HWND window = open_gadget_window(1, 300, 200);
    ASSERT_TRUE(window);
    ASSERT_TRUE(create_check_box_gadget(3, 0, 0, 100, 20, "Grid"));
    set_gadget_state(3, 7);
    EXPECT_EQ(SendMessageA(gadget_handle(3), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(get_gadget_state(3), 1);
    set_gadget_state(3, -1);  // a two-state box has no third state
    EXPECT_EQ(get_gadget_state(3), 1);
    set_gadget_state(3, 0);
    EXPECT_EQ(get_gadget_state(3), 0);
    // A flag that names another button type still makes a check box.
    ASSERT_TRUE(create_check_box_gadget(6, 0, 100, 100, 20, "Odd", BS_GROUPBOX));
    EXPECT_EQ(GetWindowLongPtrA(gadget_handle(6), GWL_STYLE) & 0xF, BS_AUTOCHECKBOX);

    // The manual three-state box: indeterminate only when set, clicks
    // alternate between checked and unchecked, each click is one event.
    ASSERT_TRUE(create_check_box_gadget(4, 0, 30, 100, 20, "Three", BS_3STATE));
    ASSERT_TRUE(create_check_box_gadget(5, 0, 60, 100, 20, "Auto", BS_AUTO3STATE));
    set_gadget_state(4, -1);
    EXPECT_EQ(get_gadget_state(4), -1);
    std::vector<int32_t> manual;
    std::vector<int32_t> automatic;
    for (int i = 0; i < 3; ++i) {
        drain_events();
        SendMessageA(gadget_handle(4), BM_CLICK, 0, 0);
        SendMessageA(gadget_handle(5), BM_CLICK, 0, 0);
        manual.push_back(get_gadget_state(4));
        automatic.push_back(get_gadget_state(5));
    }
    EXPECT_EQ(manual, (std::vector<int32_t>{1, 0, 1}));
    EXPECT_EQ(automatic, (std::vector<int32_t>{1, -1, 0}));

    drain_events();
    PostMessageA(gadget_handle(3), BM_CLICK, 0, 0);
    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([&] { return !gadget_types(seen, 3).empty(); }, &seen));
    EXPECT_EQ(gadget_types(seen, 3), std::vector<int32_t>{0});
    close_window(1);
}

TEST(StandardGadgets, SpinStaysInItsRange)
{
    HWND window = open_gadget_window(1, 300, 200);
    ASSERT_TRUE(window);
    ASSERT_TRUE(create_spin_gadget(9, 10, 10, 80, 20, 1, 25, SPIN_NUMERIC));
    HWND field = gadget_handle(9);
    HWND arrows = GetWindow(field, GW_HWNDNEXT);
    ASSERT_TRUE(arrows);
    ASSERT_EQ(GetPropA(arrows, "VX_ID"), reinterpret_cast<HANDLE>(9));

    // An 80 x 20 spin: a 70-pixel field and 10-pixel arrows at its right.
    RECT area;
    GetWindowRect(field, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(area.left, 10);
    EXPECT_EQ(area.right - area.left, 70);
    GetWindowRect(arrows, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(area.left, 80);
    EXPECT_EQ(area.right - area.left, 10);
    EXPECT_EQ(area.bottom - area.top, 20);

    for (auto [set, expected] : {std::pair{5, 5}, {0, 1}, {99, 25}, {-7, 1}}) {
        set_gadget_state(9, set);
        EXPECT_EQ(get_gadget_state(9), expected) << set;
    }
    // Whatever the field shows, the state stays in the range.
    for (const char* text : {"999", "-5", "0", "abc", ""}) {
        SetWindowTextA(field, text);
        const int32_t state = get_gadget_state(9);
        EXPECT_TRUE(state >= 1 && state <= 25) << text << " gave " << state;
    }

    // The upper arrow posts 1 and writes the position into the field; the
    // lower one posts -1.
    set_gadget_state(9, 5);
    drain_events();
    GetClientRect(arrows, &area);
    std::vector<Event> seen;
    PostMessageA(arrows, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(area.right / 2, 2));
    PostMessageA(arrows, WM_LBUTTONUP, 0, MAKELPARAM(area.right / 2, 2));
    ASSERT_TRUE(pump_until([&] { return contains(seen, EVENT_GADGET) && get_gadget_state(9) == 6; }, &seen));
    for (const Event& e : drain_events()) seen.push_back(e);
    EXPECT_EQ(arrow_types(seen), std::vector<int32_t>{SPIN_UP});
    EXPECT_EQ(text_of(field), "6");
    seen.clear();
    PostMessageA(arrows, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(area.right / 2, area.bottom - 2));
    PostMessageA(arrows, WM_LBUTTONUP, 0, MAKELPARAM(area.right / 2, area.bottom - 2));
    ASSERT_TRUE(pump_until([&] { return get_gadget_state(9) == 5; }, &seen));
    for (const Event& e : drain_events()) seen.push_back(e);
    EXPECT_EQ(arrow_types(seen), std::vector<int32_t>{SPIN_DOWN});

    // Typing into the field reports EN_CHANGE.
    drain_events();
    seen.clear();
    PostMessageA(field, WM_CHAR, '7', 1);
    ASSERT_TRUE(pump_until([&] { return !gadget_types(seen, 9).empty(); }, &seen));
    EXPECT_EQ(gadget_types(seen, 9), std::vector<int32_t>{EN_CHANGE});

    // A text the application sets, even while a message is being
    // dispatched, comes back as no event.
    WNDCLASSA setter_class{};
    setter_class.lpfnWndProc = setter_procedure;
    setter_class.hInstance = GetModuleHandleA(nullptr);
    setter_class.lpszClassName = "GadgetTestSetter";
    RegisterClassA(&setter_class);
    HWND setter = CreateWindowExA(0, "GadgetTestSetter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(setter);
    drain_events();
    PostMessageA(setter, WM_APP, 9, 0);
    std::vector<Event> after = drain_events();
    EXPECT_EQ(text_of(field), "42");
    EXPECT_TRUE(contains(after, WM_APP));
    EXPECT_TRUE(gadget_types(after, 9).empty());
    DestroyWindow(setter);

    // Range attributes keep the other bound; disabling the field disables
    // the arrows; the arrows go with the field.
    set_gadget_attribute(9, SPIN_MAXIMUM, 40);
    EXPECT_EQ(get_gadget_attribute(9, SPIN_MINIMUM), 1);
    EXPECT_EQ(get_gadget_attribute(9, SPIN_MAXIMUM), 40);
    set_gadget_attribute(9, SPIN_MINIMUM, 3);
    EXPECT_EQ(get_gadget_attribute(9, SPIN_MINIMUM), 3);
    EXPECT_EQ(get_gadget_attribute(9, SPIN_MAXIMUM), 40);
    EnableWindow(field, FALSE);
    EXPECT_FALSE(IsWindowEnabled(arrows));
    EnableWindow(field, TRUE);
    EXPECT_TRUE(IsWindowEnabled(arrows));
    free_gadget(9);
    EXPECT_FALSE(IsWindow(arrows));
    close_window(1);
}

TEST(StandardGadgets, TextAlignmentAndColours)
{
    HWND window = open_gadget_window(1, 300, 200);
    ASSERT_TRUE(window);
    ASSERT_TRUE(create_text_gadget(6, 0, 0, 100, 18, "Width:", TEXT_RIGHT));
    ASSERT_TRUE(create_text_gadget(7, 0, 20, 100, 18, "Plain"));
    EXPECT_EQ(GetWindowLongPtrA(gadget_handle(6), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);

    // With default colours the control paints as usual.
    HDC dc = GetDC(window);
    EXPECT_EQ(SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(gadget_handle(6))),
              DefWindowProcA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(gadget_handle(6))));

    // Equal backgrounds share one brush, which lives while anyone uses it.
    set_gadget_color(6, 2, RGB(10, 20, 30));
    set_gadget_color(7, 2, RGB(10, 20, 30));
    set_gadget_color(6, 1, RGB(200, 0, 0));
    const LRESULT brush = SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(gadget_handle(6)));
    EXPECT_EQ(GetTextColor(dc), RGB(200, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(10, 20, 30));
    EXPECT_EQ(brush, SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(gadget_handle(7))));
    ASSERT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(brush)), static_cast<DWORD>(OBJ_BRUSH));
    set_gadget_text(6, "Offset:");
    EXPECT_EQ(get_gadget_color(6, 1), static_cast<int32_t>(RGB(200, 0, 0)));
    EXPECT_EQ(get_gadget_color(6, 2), static_cast<int32_t>(RGB(10, 20, 30)));
    free_gadget(6);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(brush)), static_cast<DWORD>(OBJ_BRUSH));
    free_gadget(7);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(brush)), 0u);
    ReleaseDC(window, dc);
    close_window(1);
}
