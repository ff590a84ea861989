// window.cpp: the window table, opening and closing windows.
#include "window.h"

#include <ole2.h>

#include <cstdio>

#include "drop.h"
#include "heap.h"
#include "registry.h"
#include "window_procedure.h"

namespace {

ObjectTable* g_windows = nullptr;
HICON g_icon = nullptr;
HCURSOR g_cursor = nullptr;
GadgetHooks g_gadget_hooks{};

constexpr int32_t WINDOW_TABLE_GROWTH = 16;
constexpr int ICON_RESOURCE = 1;
constexpr uint32_t CENTRING_FLAGS = WINDOW_SCREEN_CENTRED | WINDOW_PARENT_CENTRED;
constexpr uint32_t RUNTIME_FLAGS = WINDOW_SCREEN_CENTRED | WINDOW_PARENT_CENTRED | WINDOW_TOOL;
// WS_MINIMIZE, WS_MAXIMIZE, WS_MINIMIZEBOX and WS_MAXIMIZEBOX cleared.
constexpr uint32_t TOOL_WINDOW_MASK = 0xDEFCFFFF;

// Tab and Shift+Tab move the keyboard focus in every window.
const ACCEL FOCUS_ACCELERATORS[] = {
    {FVIRTKEY | FNOINVERT, VK_TAB, FOCUS_NEXT_COMMAND},
    {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, FOCUS_PREVIOUS_COMMAND},
};
constexpr int32_t FOCUS_ACCELERATOR_COUNT = sizeof(FOCUS_ACCELERATORS) / sizeof(FOCUS_ACCELERATORS[0]);

void format_class_name(char (&name)[32], int32_t number)
{
    std::snprintf(name, sizeof(name), "WindowClass_%d", static_cast<int>(number));
}

void register_window_class(const char* name, HINSTANCE instance)
{
    WNDCLASSA window_class{};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = g_icon;
    window_class.hCursor = g_cursor;
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = name;
    // A class left registered by an earlier window of this number is as good.
    RegisterClassA(&window_class);
}

// Centres the outer rectangle on a reference; false when there is none.
bool centre_position(uint32_t style, HWND parent, int32_t* width, int32_t* height, int32_t* x, int32_t* y)
{
    if (style & WINDOW_SCREEN_CENTRED) {
        int32_t screen_width = GetSystemMetrics(SM_CXSCREEN);
        int32_t screen_height = GetSystemMetrics(SM_CYSCREEN);
        if (*width > screen_width) *width = screen_width;
        if (*height > screen_height) *height = screen_height;
        *x = (screen_width - *width) / 2;
        *y = (screen_height - *height) / 2;
        return true;
    }
    if (style & WINDOW_PARENT_CENTRED) {
        HWND reference = parent ? parent : GetActiveWindow();
        RECT area;
        if (!reference || !GetWindowRect(reference, &area)) return false;
        *x = area.left + ((area.right - area.left) - *width) / 2;
        *y = area.top + ((area.bottom - area.top) - *height) / 2;
        if (*x < 0) *x = 0;
        if (*y < 0) *y = 0;
        return true;
    }
    return false;
}

}  // namespace

void init_window_library()
{
    if (g_windows) return;
    g_windows = create_object_table(sizeof(WindowRecord), WINDOW_TABLE_GROWTH, close_window);
    init_event_state();
    g_icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ICON_RESOURCE));
    g_cursor = LoadCursorA(nullptr, IDC_ARROW);
    install_message_guard();
}

void set_gadget_hooks(const GadgetHooks& hooks) { g_gadget_hooks = hooks; }

const GadgetHooks& gadget_hooks() { return g_gadget_hooks; }

WindowRecord* find_window(int32_t number)
{
    return static_cast<WindowRecord*>(find_object(g_windows, number));
}

intptr_t open_window(int32_t number, int32_t x, int32_t y, int32_t inner_width, int32_t inner_height,
                     const char* title, int32_t flags, HWND parent)
{
    // Reusing a number closes the old window and drops its queued events here.
    int32_t dynamic_number = 0;
    auto* record = static_cast<WindowRecord*>(obtain_object(g_windows, number, &dynamic_number));
    if (!record) return 0;
    const bool dynamic = number == ANY_NUMBER;
    if (dynamic) number = dynamic_number;

    char class_name[32];
    format_class_name(class_name, number);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    register_window_class(class_name, instance);

    auto style = static_cast<uint32_t>(flags);
    const bool gadget_list = !(style & WINDOW_NO_GADGET_LIST);
    style &= ~static_cast<uint32_t>(WINDOW_NO_GADGET_LIST);
    if (!(style & ~(CENTRING_FLAGS | WINDOW_INVISIBLE))) style |= WS_CAPTION;
    const bool visible = !(style & WINDOW_INVISIBLE);
    style &= ~static_cast<uint32_t>(WINDOW_INVISIBLE);
    DWORD extended_style = 0;
    if (style & WINDOW_TOOL) {
        style = (style & TOOL_WINDOW_MASK) | WS_CAPTION;
        extended_style = WS_EX_TOOLWINDOW;
    }
    const DWORD native_style = style & ~RUNTIME_FLAGS;

    // The inner size is the client area; a menu bar added later takes its
    // height out of it.
    RECT frame{0, 0, inner_width, inner_height};
    AdjustWindowRectEx(&frame, native_style, FALSE, extended_style);
    int32_t width = frame.right - frame.left;
    int32_t height = frame.bottom - frame.top;

    // POSITION_DEFAULT counts unless the window is really centred: a parent-
    // centred window without any reference would otherwise land far off screen.
    if (!centre_position(style, parent, &width, &height, &x, &y) &&
        (x == POSITION_DEFAULT || y == POSITION_DEFAULT)) {
        x = CW_USEDEFAULT;
        y = CW_USEDEFAULT;
    }

    HWND window = CreateWindowExA(extended_style, class_name, title ? title : "", native_style, x, y, width,
                                  height, parent, nullptr, instance, nullptr);
    if (!window) {
        UnregisterClassA(class_name, instance);
        release_object(g_windows, number);
        return 0;
    }
    record->handle = window;
    SetPropA(window, WINDOW_ID_PROPERTY, reinterpret_cast<HANDLE>(static_cast<intptr_t>(number) + 1));

    if (visible) {
        int command = (native_style & WS_MAXIMIZE)   ? SW_MAXIMIZE
                      : (native_style & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                                                     : SW_SHOWNORMAL;
        ShowWindow(window, command);
    }

    record->minimised_or_maximised = (native_style & (WS_MAXIMIZE | WS_MINIMIZE)) ? 1 : 0;
    record->accelerator_entries = static_cast<ACCEL*>(main_alloc(sizeof(FOCUS_ACCELERATORS)));
    if (record->accelerator_entries) {
        for (int32_t i = 0; i < FOCUS_ACCELERATOR_COUNT; ++i)
            record->accelerator_entries[i] = FOCUS_ACCELERATORS[i];
        record->accelerator_count = FOCUS_ACCELERATOR_COUNT;
        record->accelerator_table = CreateAcceleratorTableA(record->accelerator_entries, FOCUS_ACCELERATOR_COUNT);
    }
    record->mdi_client = nullptr;

    if (gadget_list && g_gadget_hooks.use_gadget_list) g_gadget_hooks.use_gadget_list(window);
    return dynamic ? number : reinterpret_cast<intptr_t>(window);
}

HWND window_handle(int32_t number)
{
    WindowRecord* record = find_window(number);
    return record ? record->handle : nullptr;
}

int32_t set_window_title(int32_t number, const char* text)
{
    WindowRecord* record = find_window(number);
    if (!record || !text) return 0;
    return SetWindowTextA(record->handle, text);
}

int32_t disable_window(int32_t number, int32_t state)
{
    WindowRecord* record = find_window(number);
    if (!record) return 0;
    return EnableWindow(record->handle, state == 0);
}

void close_window(int32_t number)
{
    WindowRecord* record = find_window(number);
    if (!record) return;
    HWND window = record->handle;
    // Hand the activation back to the owner before the window goes.
    if (HWND owner = GetWindow(window, GW_OWNER)) SetActiveWindow(owner);
    RemovePropA(window, WINDOW_ID_PROPERTY);
    release_window_drop(window);
    DestroyWindow(window);

    char class_name[32];
    format_class_name(class_name, number);
    UnregisterClassA(class_name, GetModuleHandleA(nullptr));
    if (record->accelerator_table) DestroyAcceleratorTable(record->accelerator_table);
    main_free(record->accelerator_entries);
    if (record->background_brush) DeleteObject(record->background_brush);

    remove_window_events(number);
    release_object(g_windows, number);
}

void close_all_windows()
{
    release_all_objects(g_windows);
    free_pending_drop_record();
}
