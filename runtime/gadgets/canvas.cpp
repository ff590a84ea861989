// canvas.cpp: the canvas gadget. The drawing library writes into the back
// buffer (a DIB section) directly; the window only copies it to the screen.
#include "canvas.h"

#include "dib_section.h"
#include "events.h"
#include "gdi_owners.h"
#include "heap.h"
#include "pool.h"
#include "registry.h"

namespace {

// The data of one canvas event, read back through attributes 2 to 9.
struct CanvasEventData {
    int32_t x;
    int32_t y;
    int32_t buttons;    // bit 0 left, bit 1 right, bit 2 middle
    int32_t key;
    int32_t modifiers;  // bit 0 Shift, bit 1 Alt, bit 2 Control
    int32_t wheel;
    int32_t character;
};

constexpr int32_t CURSOR_COUNT = 12;
constexpr int32_t CURSOR_SUPPLIED = 254;
constexpr intptr_t CURSOR_NUMBER_MASK = 0xFF;
constexpr intptr_t MOUSE_INSIDE = 0x10000;
constexpr int32_t BORDER_SHRINK = 4;
constexpr int32_t FOCUS_INSET = 2;
constexpr int32_t EVENT_POOL_MINIMUM_CHUNK = 16;
constexpr int32_t EVENT_POOL_MAXIMUM_CHUNK = 1024;
constexpr uint32_t EVENT_POOL_FLAGS = POOL_UNLOCKED;  // private: one thread uses it
constexpr int32_t BUTTON_LEFT = 1;
constexpr int32_t BUTTON_RIGHT = 2;
constexpr int32_t BUTTON_MIDDLE = 4;

constexpr const char* CANVAS_CLASS = "VexelCanvas";
constexpr const char* CANVAS_PROPERTY = "VX_Gadget";

// The system cursors of cursor numbers 0 to 10; 11 hides the cursor.
const LPCSTR CURSOR_NAMES[CURSOR_COUNT] = {
    IDC_ARROW,  IDC_CROSS,   IDC_IBEAM,  IDC_HAND,     IDC_WAIT,     IDC_NO,
    IDC_SIZEALL, IDC_SIZEWE, IDC_SIZENS, IDC_SIZENESW, IDC_SIZENWSE, nullptr,
};

struct CanvasLibrary {
    bool class_registered;
    BlockPool* event_pool;
    HCURSOR cursors[CURSOR_COUNT];
    HWND clip_owner;  // the canvas that confines the cursor, or null
};

CanvasLibrary* g_canvas = nullptr;

HBITMAP buffer_of(const GadgetRecord* gadget) { return reinterpret_cast<HBITMAP>(gadget->kind_word_1); }
int32_t flags_of(const GadgetRecord* gadget) { return static_cast<int32_t>(gadget->kind_word_2); }

GadgetRecord* canvas_of(HWND window) { return static_cast<GadgetRecord*>(GetPropA(window, CANVAS_PROPERTY)); }

HCURSOR cached_cursor(int32_t number)
{
    if (!g_canvas->cursors[number] && CURSOR_NAMES[number])
        g_canvas->cursors[number] = LoadCursorA(nullptr, CURSOR_NAMES[number]);
    return g_canvas->cursors[number];
}

void release_event_data(void* data) { pool_free(g_canvas->event_pool, data); }

int32_t buttons_held()
{
    int32_t buttons = 0;
    if (GetKeyState(VK_LBUTTON) & 0x8000) buttons |= BUTTON_LEFT;
    if (GetKeyState(VK_RBUTTON) & 0x8000) buttons |= BUTTON_RIGHT;
    if (GetKeyState(VK_MBUTTON) & 0x8000) buttons |= BUTTON_MIDDLE;
    return buttons;
}

void post_canvas_event(HWND window, int32_t type, int32_t key = 0, int32_t wheel = 0, int32_t character = 0)
{
    auto* data = static_cast<CanvasEventData*>(pool_allocate(g_canvas->event_pool));
    const auto object = static_cast<int32_t>(GetWindowLongPtrA(window, GWLP_ID));
    const int32_t window_number = gadget_window_number(window);
    if (!data) {
        post_event(EVENT_GADGET, object, window_number, type);
        return;
    }
    const DWORD position = GetMessagePos();
    POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(window, &point);
    data->x = point.x;
    data->y = point.y;
    data->buttons = buttons_held();
    data->modifiers = ((GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0) | ((GetKeyState(VK_MENU) & 0x8000) ? 2 : 0) |
                      ((GetKeyState(VK_CONTROL) & 0x8000) ? 4 : 0);
    data->key = key;
    data->wheel = wheel;
    data->character = character;
    post_event_with_data(EVENT_GADGET, object, window_number, type, data, release_event_data);
}

// The data of the event being handled when it is this canvas's, else null.
const CanvasEventData* current_event_data(const GadgetRecord* gadget)
{
    const EventState* state = event_state();
    if (!state || state->current_code != EVENT_GADGET || !state->current_data ||
        state->current_release != release_event_data)
        return nullptr;
    if (state->current_object != static_cast<int32_t>(GetWindowLongPtrA(gadget->window, GWLP_ID))) return nullptr;
    return static_cast<const CanvasEventData*>(state->current_data);
}

void draw_buffer(HDC target, HBITMAP buffer, const RECT& client)
{
    BITMAP info{};
    if (buffer && GetObjectA(buffer, sizeof(info), &info) == static_cast<int>(sizeof(info))) {
        DrawStateA(target, nullptr, nullptr, reinterpret_cast<LPARAM>(buffer), 0, 0, 0, info.bmWidth, info.bmHeight,
                   DST_BITMAP);
    } else {
        FillRect(target, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
}

// Paints on `target`, or on the window's own device context when null.
void paint_canvas(GadgetRecord* gadget, HDC target)
{
    HWND window = gadget->window;
    const WindowDc own_dc = target ? WindowDc() : WindowDc(window);
    HDC dc = target ? target : own_dc.get();
    if (!dc) return;
    RECT client{};
    GetClientRect(window, &client);
    if (!(flags_of(gadget) & CANVAS_DRAW_FOCUS) || GetFocus() != window) {
        draw_buffer(dc, buffer_of(gadget), client);
        return;
    }
    // The focus rectangle is composed off screen so that it never flickers.
    const MemoryDc memory(dc);
    const OwnedObject<HBITMAP> surface(memory ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr);
    if (!surface) {
        draw_buffer(dc, buffer_of(gadget), client);
        return;
    }
    const Selection selected(memory.get(), surface.get());
    FillRect(memory.get(), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_buffer(memory.get(), buffer_of(gadget), client);
    RECT focus = client;
    InflateRect(&focus, -FOCUS_INSET, -FOCUS_INSET);
    DrawFocusRect(memory.get(), &focus);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
}

// Whether the current drawing writes into `buffer`.
bool drawing_holds(HBITMAP buffer)
{
    const DrawingContext* drawing = current_context();
    return drawing && drawing->output_bitmap == buffer;
}

// A new white buffer of the size, holding the old picture at its top left;
// when it cannot be made the old buffer stays.
void make_back_buffer(GadgetRecord* gadget, int32_t width, int32_t height)
{
    if (flags_of(gadget) & CANVAS_BORDER) {
        width -= BORDER_SHRINK;
        height -= BORDER_SHRINK;
    }
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    const MemoryDc memory;
    if (!memory) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP buffer = create_dib_section(memory.get(), &info, &bits);
    if (!buffer) return;
    {
        const Selection selected(memory.get(), buffer);
        RECT area{0, 0, width, height};
        FillRect(memory.get(), &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        HBITMAP old = buffer_of(gadget);
        if (old) {
            BITMAP old_info{};
            const MemoryDc source;
            if (source && GetObjectA(old, sizeof(old_info), &old_info)) {
                const Selection source_selected(source.get(), old);
                BitBlt(memory.get(), 0, 0, old_info.bmWidth, old_info.bmHeight, source.get(), 0, 0, SRCCOPY);
            }
            // A drawing open on the old buffer keeps it selected in its DC, where
            // it cannot be deleted: the drawing's release deletes it instead.
            if (!drawing_holds(old)) DeleteObject(old);
        }
    }
    gadget->kind_word_1 = reinterpret_cast<intptr_t>(buffer);
}

void confine_cursor(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    ClipCursor(&client);
    g_canvas->clip_owner = window;
}

void release_confinement()
{
    ClipCursor(nullptr);
    g_canvas->clip_owner = nullptr;
}

void button_down(GadgetRecord* gadget, int32_t button, int32_t down_type, int32_t click_type)
{
    HWND window = gadget->window;
    // Only the first button of a press captures the mouse.
    if (buttons_held() == button) {
        if (flags_of(gadget) & CANVAS_CLIP_MOUSE) confine_cursor(window);
        SetCapture(window);
    }
    post_canvas_event(window, down_type);
    if (click_type >= 0) post_canvas_event(window, click_type);
}

void button_up(GadgetRecord* gadget, int32_t up_type)
{
    HWND window = gadget->window;
    if (buttons_held() == 0) {
        if (!(flags_of(gadget) & CANVAS_CLIP_MOUSE)) {
            ReleaseCapture();
        } else if (g_canvas->clip_owner == window) {
            release_confinement();
            ReleaseCapture();
        }
    }
    post_canvas_event(window, up_type);
}

LRESULT CALLBACK canvas_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    GadgetRecord* gadget = canvas_of(window);
    if (!gadget) return DefWindowProcA(window, message, wparam, lparam);
    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        post_canvas_event(window, message == WM_SETFOCUS ? GADGET_FOCUS_GAINED : GADGET_FOCUS_LOST);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_MOUSEMOVE:
        if (gadget->kind_word_3 & MOUSE_INSIDE) {
            post_canvas_event(window, CANVAS_MOUSE_MOVE);
        } else {
            gadget->kind_word_3 |= MOUSE_INSIDE;
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
            post_canvas_event(window, CANVAS_MOUSE_ENTER);
        }
        return 0;
    case WM_MOUSELEAVE:
        post_canvas_event(window, CANVAS_MOUSE_LEAVE);
        gadget->kind_word_3 &= ~MOUSE_INSIDE;
        return 0;
    case WM_LBUTTONDOWN: button_down(gadget, BUTTON_LEFT, CANVAS_LEFT_DOWN, CANVAS_LEFT_CLICK); return 0;
    case WM_LBUTTONDBLCLK: button_down(gadget, BUTTON_LEFT, CANVAS_LEFT_DOWN, CANVAS_LEFT_DOUBLE_CLICK); return 0;
    case WM_RBUTTONDOWN: button_down(gadget, BUTTON_RIGHT, CANVAS_RIGHT_DOWN, CANVAS_RIGHT_CLICK); return 0;
    case WM_RBUTTONDBLCLK: button_down(gadget, BUTTON_RIGHT, CANVAS_RIGHT_DOWN, CANVAS_RIGHT_DOUBLE_CLICK); return 0;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: button_down(gadget, BUTTON_MIDDLE, CANVAS_MIDDLE_DOWN, -1); return 0;
    case WM_LBUTTONUP: button_up(gadget, CANVAS_LEFT_UP); return 0;
    case WM_RBUTTONUP: button_up(gadget, CANVAS_RIGHT_UP); return 0;
    case WM_MBUTTONUP: button_up(gadget, CANVAS_MIDDLE_UP); return 0;
    case WM_MOUSEWHEEL:
        post_canvas_event(window, CANVAS_WHEEL, 0, static_cast<short>(HIWORD(wparam)) / WHEEL_DELTA);
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
        post_canvas_event(window, message == WM_KEYDOWN ? CANVAS_KEY_DOWN : CANVAS_KEY_UP,
                          static_cast<int32_t>(wparam));
        return 0;
    case WM_CHAR:
        if (wparam >= 32) post_canvas_event(window, CANVAS_INPUT, 0, 0, static_cast<int32_t>(wparam & 0xFF));
        return 0;
    case WM_SETCURSOR:
        SetCursor(reinterpret_cast<HCURSOR>(gadget->kind_word_4));
        return 1;
    case WM_MOUSEACTIVATE:
        if (!(flags_of(gadget) & CANVAS_KEYBOARD)) break;
        SetFocus(window);
        InvalidateRect(window, nullptr, FALSE);
        return MA_NOACTIVATE;
    case WM_ENABLE:
        paint_canvas(gadget, nullptr);
        if (!wparam && g_canvas->clip_owner == window) release_confinement();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (dc) paint_canvas(gadget, dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        paint_canvas(gadget, reinterpret_cast<HDC>(wparam));
        return 1;
    case WM_PRINT:
    case WM_PRINTCLIENT:
        paint_canvas(gadget, reinterpret_cast<HDC>(wparam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void set_cursor_number(GadgetRecord* gadget, int32_t number, HCURSOR cursor)
{
    gadget->kind_word_3 = (gadget->kind_word_3 & ~CURSOR_NUMBER_MASK) | number;
    gadget->kind_word_4 = reinterpret_cast<intptr_t>(cursor);
    // The new cursor shows at once when the mouse is over the canvas.
    if (gadget->kind_word_3 & MOUSE_INSIDE) SetCursor(cursor);
}

int32_t canvas_get_attribute(GadgetRecord* gadget, int32_t attribute)
{
    const auto cursor_number = static_cast<int32_t>(gadget->kind_word_3 & CURSOR_NUMBER_MASK);
    switch (attribute) {
    case CANVAS_IMAGE: return static_cast<int32_t>(gadget->kind_word_1);
    case CANVAS_CURSOR: return cursor_number == CURSOR_SUPPLIED ? -1 : cursor_number;
    case CANVAS_CLIP: return g_canvas->clip_owner == gadget->window ? 1 : 0;
    case CANVAS_CUSTOM_CURSOR: return cursor_number == CURSOR_SUPPLIED ? static_cast<int32_t>(gadget->kind_word_4) : 0;
    default: break;
    }
    const CanvasEventData* data = current_event_data(gadget);
    if (!data) return 0;
    switch (attribute) {
    case CANVAS_MOUSE_X: return data->x;
    case CANVAS_MOUSE_Y: return data->y;
    case CANVAS_BUTTONS: return data->buttons;
    case CANVAS_KEY: return data->key;
    case CANVAS_MODIFIERS: return data->modifiers;
    case CANVAS_WHEEL_DELTA: return data->wheel;
    case CANVAS_CHARACTER: return data->character;
    default: return 0;
    }
}

void copy_into_buffer(GadgetRecord* gadget, HBITMAP source)
{
    HBITMAP buffer = buffer_of(gadget);
    BITMAP info{};
    if (!source || !buffer || !GetObjectA(source, sizeof(info), &info)) return;
    {
        const MemoryDc target_dc;
        const MemoryDc source_dc;
        if (target_dc && source_dc) {
            const Selection target_selected(target_dc.get(), buffer);
            const Selection source_selected(source_dc.get(), source);
            BitBlt(target_dc.get(), 0, 0, info.bmWidth, info.bmHeight, source_dc.get(), 0, 0, SRCCOPY);
        }
    }
    paint_canvas(gadget, nullptr);
}

void canvas_set_attribute(GadgetRecord* gadget, int32_t attribute, int32_t value)
{
    switch (attribute) {
    case CANVAS_IMAGE:
        copy_into_buffer(gadget, reinterpret_cast<HBITMAP>(static_cast<intptr_t>(value)));
        break;
    case CANVAS_CURSOR:
        if (value >= 0 && value < CURSOR_COUNT) set_cursor_number(gadget, value, cached_cursor(value));
        break;
    case CANVAS_CLIP:
        if (value) {
            confine_cursor(gadget->window);
            SetCapture(gadget->window);
        } else if (g_canvas->clip_owner == gadget->window) {
            release_confinement();
            ReleaseCapture();
        }
        break;
    case CANVAS_CUSTOM_CURSOR:
        if (value) set_cursor_number(gadget, CURSOR_SUPPLIED, reinterpret_cast<HCURSOR>(static_cast<intptr_t>(value)));
        break;
    default:
        break;
    }
}

void canvas_resize(GadgetRecord* gadget, int32_t x, int32_t y, int32_t width, int32_t height)
{
    resize_gadget(gadget, x, y, width, height);
    RECT area{};
    GetWindowRect(gadget->window, &area);
    make_back_buffer(gadget, area.right - area.left, area.bottom - area.top);
    paint_canvas(gadget, nullptr);
}

void canvas_activate(GadgetRecord* gadget)
{
    if (flags_of(gadget) & CANVAS_KEYBOARD) SetFocus(gadget->window);
}

void canvas_release(GadgetRecord* gadget)
{
    HWND window = gadget->window;
    // A drawing still open on the buffer ends here rather than write into a
    // bitmap that is about to go.
    DrawingContext* drawing = current_context();
    if (drawing && drawing->output_bitmap == buffer_of(gadget) && buffer_of(gadget)) stop_drawing();
    // A confinement must not outlive the window it was made for.
    if (g_canvas->clip_owner == window) release_confinement();
    if (HBITMAP buffer = buffer_of(gadget)) DeleteObject(buffer);
    gadget->kind_word_1 = 0;
    RemovePropA(window, CANVAS_PROPERTY);
}

constexpr GadgetKind CANVAS_KIND{
    .kind_number = GADGET_KIND_CANVAS,
    .size = sizeof(GadgetKind),
    .release = canvas_release,
    .resize = canvas_resize,
    .get_attribute = canvas_get_attribute,
    .set_attribute = canvas_set_attribute,
    .activate = canvas_activate,
};

bool init_canvas_library()
{
    if (g_canvas) return true;
    auto* library = static_cast<CanvasLibrary*>(create_library_state(sizeof(CanvasLibrary), nullptr, nullptr));
    if (!library) return false;
    library->event_pool = create_block_pool(sizeof(CanvasEventData), EVENT_POOL_MINIMUM_CHUNK,
                                            EVENT_POOL_MAXIMUM_CHUNK, EVENT_POOL_FLAGS);
    if (!library->event_pool) {
        main_free(library);
        return false;
    }
    // One record that is never returned keeps the first chunk alive.
    pool_allocate(library->event_pool);
    library->cursors[0] = LoadCursorA(nullptr, IDC_ARROW);
    WNDCLASSA canvas_class{};
    canvas_class.style = CS_DBLCLKS;
    canvas_class.lpfnWndProc = canvas_procedure;
    canvas_class.hInstance = GetModuleHandleA(nullptr);
    canvas_class.lpszClassName = CANVAS_CLASS;
    library->class_registered = RegisterClassA(&canvas_class) != 0;
    g_canvas = library;
    return true;
}

// Repaints the canvas when the drawing stops, so what was drawn shows.
void release_canvas_output(DrawingContext* context, int32_t normal)
{
    if (context->memory_dc) DeleteDC(static_cast<HDC>(context->memory_dc));
    context->memory_dc = nullptr;
    GdiSetBatchLimit(static_cast<DWORD>(context->saved_batch_limit));
    GadgetRecord* gadget = find_gadget(context->canvas_gadget_number);
    const bool canvas = gadget && gadget->kind == &CANVAS_KIND;
    // The canvas was resized (or freed) during the drawing and left its old
    // buffer to it: now that the DC is gone the buffer can be deleted.
    if (!canvas || buffer_of(gadget) != context->output_bitmap) DeleteObject(context->output_bitmap);
    context->output_bitmap = nullptr;
    if (normal == 1 && canvas) paint_canvas(gadget, nullptr);
}

}  // namespace

intptr_t create_canvas_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags)
{
    if (!init_canvas_library()) return 0;
    const DWORD extended_style = (flags & CANVAS_BORDER) ? WS_EX_CLIENTEDGE : 0;
    const DWORD style = (flags & CANVAS_KEYBOARD) ? WS_TABSTOP | WS_GROUP : 0;
    HWND window = create_gadget_window(extended_style, CANVAS_CLASS, "", style, x, y, width, height);
    if (!window) return 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    if (!record) {
        DestroyWindow(window);
        return 0;
    }
    SetPropA(window, CANVAS_PROPERTY, record);
    record->kind_word_2 = flags;
    record->kind_word_3 = 0;
    record->kind_word_4 = reinterpret_cast<intptr_t>(g_canvas->cursors[0]);
    make_back_buffer(record, width, height);
    return register_gadget(number, record, window, &CANVAS_KIND);
}

DrawingContext* canvas_output(int32_t number)
{
    GadgetRecord* gadget = find_gadget(number);
    if (!gadget || gadget->kind != &CANVAS_KIND || !buffer_of(gadget)) return nullptr;
    DIBSECTION dib{};
    if (GetObjectA(buffer_of(gadget), sizeof(dib), &dib) != static_cast<int>(sizeof(dib)) || !dib.dsBm.bmBits)
        return nullptr;
    MemoryDc memory;
    if (!memory) return nullptr;
    DrawingContext* context = create_drawing_context(PIXEL_BGR24);
    if (!context) return nullptr;
    HDC dc = memory.release();
    context->output_bitmap = buffer_of(gadget);
    context->canvas_gadget_number = number;
    context->memory_dc = dc;
    context->pixels = static_cast<uint8_t*>(dib.dsBm.bmBits);
    context->pitch = row_pitch(dib.dsBm.bmWidth, dib.dsBm.bmBitsPixel);
    context->width = dib.dsBm.bmWidth;
    context->height = dib.dsBm.bmHeight;
    context->depth = 24;
    context->release = release_canvas_output;
    // With a batch limit of 1, GDI work through the DC reaches the pixels at
    // once, so GDI and direct pixel writes never overtake each other.
    context->saved_batch_limit = static_cast<int32_t>(GdiGetBatchLimit());
    GdiSetBatchLimit(1);
    SelectObject(dc, buffer_of(gadget));
    return context;
}
