// Tests of the canvas: its back buffer, drawing that reaches the screen,
// the events of mouse, keyboard and wheel with their data, and the cursor.
#include <gtest/gtest.h>

#include <cstring>

#include "canvas.h"
#include "drawing.h"
#include "gadget.h"
#include "gadget_support.h"
#include "window.h"

namespace {

struct Buffer {
    int32_t width = 0, height = 0, pitch = 0;
    const uint8_t* bits = nullptr;
};

Buffer back_buffer(int32_t canvas)
{
    DIBSECTION dib{};
    auto bitmap = reinterpret_cast<HBITMAP>(static_cast<intptr_t>(get_gadget_attribute(canvas, CANVAS_IMAGE)));
    if (GetObjectA(bitmap, sizeof(dib), &dib) != static_cast<int>(sizeof(dib))) return {};
    return {dib.dsBm.bmWidth, dib.dsBm.bmHeight, dib.dsBm.bmWidthBytes, static_cast<const uint8_t*>(dib.dsBm.bmBits)};
}

// Blue, green, red of pixel x, y (top-down coordinates) of a bottom-up buffer.
uint32_t pixel(const Buffer& b, int32_t x, int32_t y)
{
    const uint8_t* p = b.bits + static_cast<size_t>(b.height - 1 - y) * b.pitch + x * 3;
    return p[0] | p[1] << 8 | p[2] << 16;
}

bool all_white(const Buffer& b)
{
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            if (pixel(b, x, y) != 0xFFFFFF) return false;
    return true;
}

// True when the screen shows the canvas's back buffer: a screenshot of the
// client area compared byte for byte.
bool screen_matches(HWND window, const Buffer& b)
{
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = b.width;
    info.bmiHeader.biHeight = b.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP shot = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, b.width, b.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    bool same = true;
    for (int32_t row = 0; row < b.height && same; ++row)
        same = std::memcmp(static_cast<uint8_t*>(bits) + static_cast<size_t>(row) * b.pitch,
                           b.bits + static_cast<size_t>(row) * b.pitch, static_cast<size_t>(b.width) * 3) == 0;
    SelectObject(memory, previous);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return same;
}

// One canvas event as the application sees it while handling it.
struct CanvasEvent {
    int32_t type, x, y, key, wheel, character;
    bool operator==(const CanvasEvent&) const = default;
};

std::vector<CanvasEvent> canvas_events(int32_t canvas)
{
    std::vector<CanvasEvent> events;
    while (int32_t code = wait_event_timeout(0)) {
        if (code != EVENT_GADGET || event_gadget() != canvas) continue;
        events.push_back({event_type(), get_gadget_attribute(canvas, CANVAS_MOUSE_X),
                          get_gadget_attribute(canvas, CANVAS_MOUSE_Y), get_gadget_attribute(canvas, CANVAS_KEY),
                          get_gadget_attribute(canvas, CANVAS_WHEEL_DELTA),
                          get_gadget_attribute(canvas, CANVAS_CHARACTER)});
    }
    return events;
}

std::vector<int32_t> types_of(const std::vector<CanvasEvent>& events)
{
    std::vector<int32_t> types;
    for (const CanvasEvent& e : events) types.push_back(e.type);
    return types;
}

}  // namespace

TEST(Canvas, BackBufferIsWhiteAndKeepsItsPictureOnResize)
{
    ASSERT_TRUE(open_gadget_window(2, 660, 600));
    ASSERT_TRUE(create_canvas_gadget(0, 0, 0, 641, 481));
    ASSERT_TRUE(create_canvas_gadget(1, 0, 0, 641, 481, CANVAS_BORDER));
    Buffer plain = back_buffer(0);
    Buffer bordered = back_buffer(1);
    EXPECT_EQ(plain.width, 641);
    EXPECT_EQ(plain.height, 481);
    EXPECT_EQ(bordered.width, 637);
    EXPECT_EQ(bordered.height, 477);
    EXPECT_TRUE(all_white(plain));
    EXPECT_TRUE(all_white(bordered));

    ASSERT_TRUE(start_drawing(canvas_output(0)));
    draw_box(0, 0, 10, 10, rgb(255, 0, 0));
    stop_drawing();
    resize_gadget(0, KEEP_VALUE, KEEP_VALUE, 700, 500);
    plain = back_buffer(0);
    EXPECT_EQ(plain.width, 700);
    EXPECT_EQ(pixel(plain, 9, 9), 0xFF0000u);
    EXPECT_EQ(pixel(plain, 10, 10), 0xFFFFFFu);
    EXPECT_EQ(pixel(plain, 699, 499), 0xFFFFFFu);

    // Only canvases give an output.
    EXPECT_EQ(canvas_output(77), nullptr);
    close_window(2);
    EXPECT_EQ(canvas_output(0), nullptr);
}

TEST(Canvas, DrawingAppearsOnScreenWhenItStops)
{
    ASSERT_TRUE(open_gadget_window(2, 660, 600));
    ASSERT_TRUE(create_canvas_gadget(0, 0, 0, 641, 481));
    HWND canvas = gadget_handle(0);
    std::vector<Event> seen;
    const Buffer buffer = back_buffer(0);
    ASSERT_TRUE(pump_until([&] { return screen_matches(canvas, buffer); }, &seen)) << "the white canvas";

    ASSERT_TRUE(start_drawing(canvas_output(0)));
    for (int32_t i = 0; i < 200; ++i) draw_box(i * 3, i * 2, 1, 1, rgb(i, 255 - i, 7));
    draw_box(300, 100, 200, 150, rgb(0, 0, 255));
    draw_text(20, 400, "Bitloupe");
    stop_drawing();
    // Nothing invalidated the window: only the repaint at stop can show the
    // picture (Wine copies it to the display a few milliseconds later).
    RECT invalid;
    EXPECT_FALSE(GetUpdateRect(canvas, &invalid, FALSE));
    EXPECT_TRUE(pump_until([&] { return screen_matches(canvas, buffer); }, &seen));
    EXPECT_EQ(pixel(buffer, 300, 100), 0x0000FFu);  // the blue byte comes first

    // A canvas freed while a drawing is open on it ends that drawing.
    ASSERT_TRUE(start_drawing(canvas_output(0)));
    free_gadget(0);
    EXPECT_EQ(current_context(), nullptr);
    draw_box(0, 0, 5, 5, 0);  // no drawing: nothing happens
    stop_drawing();
    close_window(2);
}

TEST(Canvas, EventsCarryTheirData)
{
    // The cursor stays off the canvas until the test moves it there.
    SetCursorPos(1200, 1000);
    HWND window = open_gadget_window(2, 660, 600);
    ASSERT_TRUE(window);
    ASSERT_TRUE(create_canvas_gadget(0, 0, 0, 641, 481));
    ASSERT_TRUE(create_canvas_gadget(1, 0, 490, 100, 50));
    HWND canvas = gadget_handle(0);
    canvas_events(0);

    // Enter, move, leave with the real cursor.
    POINT origin{0, 0};
    ClientToScreen(canvas, &origin);
    SetCursorPos(origin.x + 100, origin.y + 50);
    PostMessageA(canvas, WM_MOUSEMOVE, 0, MAKELPARAM(100, 50));
    PostMessageA(canvas, WM_MOUSEMOVE, 0, MAKELPARAM(101, 50));
    // Moving the cursor adds a move of its own.
    std::vector<CanvasEvent> events = canvas_events(0);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].type, CANVAS_MOUSE_ENTER);
    for (size_t i = 1; i < events.size(); ++i) EXPECT_EQ(events[i].type, CANVAS_MOUSE_MOVE);
    EXPECT_EQ(events[0].x, 100);
    EXPECT_EQ(events[0].y, 50);
    SetCursorPos(origin.x + 800, origin.y + 50);
    std::vector<CanvasEvent> leave;
    const ULONGLONG limit = GetTickCount64() + 5000;
    while (leave.empty() && GetTickCount64() < limit) {
        wait_event_timeout(20);
        leave = canvas_events(0);
    }
    EXPECT_EQ(types_of(leave), std::vector<int32_t>{CANVAS_MOUSE_LEAVE});

    // Buttons, clicks and double clicks.
    const std::pair<UINT, std::vector<int32_t>> presses[] = {
        {WM_LBUTTONDOWN, {CANVAS_LEFT_DOWN, CANVAS_LEFT_CLICK}},
        {WM_LBUTTONUP, {CANVAS_LEFT_UP}},
        {WM_LBUTTONDBLCLK, {CANVAS_LEFT_DOWN, CANVAS_LEFT_DOUBLE_CLICK}},
        {WM_RBUTTONDOWN, {CANVAS_RIGHT_DOWN, CANVAS_RIGHT_CLICK}},
        {WM_RBUTTONDBLCLK, {CANVAS_RIGHT_DOWN, CANVAS_RIGHT_DOUBLE_CLICK}},
        {WM_MBUTTONDOWN, {CANVAS_MIDDLE_DOWN}},
        {WM_MBUTTONUP, {CANVAS_MIDDLE_UP}},
    };
    for (const auto& [message, expected] : presses) {
        PostMessageA(canvas, message, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(types_of(canvas_events(0)), expected) << "message " << message;
    }

    // Keys, characters of 32 and above, and the wheel.
    PostMessageA(canvas, WM_KEYDOWN, VK_END, 1);
    PostMessageA(canvas, WM_CHAR, 13, 1);
    PostMessageA(canvas, WM_CHAR, 'A', 1);
    PostMessageA(canvas, WM_KEYUP, VK_END, 1);
    PostMessageA(canvas, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    PostMessageA(canvas, WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), 0);
    events = canvas_events(0);
    ASSERT_EQ(types_of(events), (std::vector<int32_t>{CANVAS_KEY_DOWN, CANVAS_INPUT, CANVAS_KEY_UP, CANVAS_WHEEL,
                                                      CANVAS_WHEEL}));
    EXPECT_EQ(events[0].key, VK_END);
    EXPECT_EQ(events[1].character, 'A');
    EXPECT_EQ(events[1].key, 0);
    EXPECT_EQ(events[3].wheel, -1);
    EXPECT_EQ(events[4].wheel, 3);

    // Event attributes read 0 outside a matching canvas event: during a
    // menu event, and for another canvas's event.
    post_event(EVENT_MENU, 4, 2, 0);
    ASSERT_EQ(wait_event_timeout(0), EVENT_MENU);
    for (int32_t attribute = 2; attribute <= 9; ++attribute) {
        if (attribute != CANVAS_CURSOR) {
            EXPECT_EQ(get_gadget_attribute(0, attribute), 0) << attribute;
        }
    }
    PostMessageA(canvas, WM_KEYDOWN, 'K', 1);
    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([] { return event_state()->current_code == EVENT_GADGET; }, &seen));
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_KEY), 'K');
    EXPECT_EQ(get_gadget_attribute(1, CANVAS_KEY), 0);
    close_window(2);
}

TEST(Canvas, CursorNumbers)
{
    ASSERT_TRUE(open_gadget_window(2, 300, 200));
    ASSERT_TRUE(create_canvas_gadget(0, 0, 0, 200, 100));
    HWND canvas = gadget_handle(0);
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_CURSOR), 0);
    set_gadget_attribute(0, CANVAS_CURSOR, 1);
    SendMessageA(canvas, WM_SETCURSOR, reinterpret_cast<WPARAM>(canvas), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_CROSS));
    set_gadget_attribute(0, CANVAS_CURSOR, 12);
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_CURSOR), 1);
    set_gadget_attribute(0, CANVAS_CURSOR, CANVAS_CURSOR_HIDDEN);
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_CURSOR), CANVAS_CURSOR_HIDDEN);
    SendMessageA(canvas, WM_SETCURSOR, reinterpret_cast<WPARAM>(canvas), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), nullptr);

    // A cursor of the application's own reads as -1 with its handle in 11.
    HCURSOR own = LoadCursorA(nullptr, IDC_HAND);
    set_gadget_attribute(0, CANVAS_CUSTOM_CURSOR, static_cast<int32_t>(reinterpret_cast<intptr_t>(own)));
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_CURSOR), -1);
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_CUSTOM_CURSOR), static_cast<int32_t>(reinterpret_cast<intptr_t>(own)));
    SendMessageA(canvas, WM_SETCURSOR, reinterpret_cast<WPARAM>(canvas), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), own);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));

    // Confinement follows attribute 10 and ends with the canvas.
    set_gadget_attribute(0, CANVAS_CLIP, 1);
    EXPECT_EQ(get_gadget_attribute(0, CANVAS_CLIP), 1);
    RECT clip;
    GetClipCursor(&clip);
    RECT client;
    GetClientRect(canvas, &client);
    MapWindowPoints(canvas, nullptr, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_TRUE(EqualRect(&clip, &client));
    free_gadget(0);
    GetClipCursor(&clip);
    EXPECT_FALSE(EqualRect(&clip, &client));
    close_window(2);
}
