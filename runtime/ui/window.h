// window.h: numbered top-level windows.
//
// Every window has its own class "WindowClass_<number>" sharing one window
// procedure, carries its number + 1 in the property "VX_WindowID", and has two
// keyboard accelerators that move the focus with Tab and Shift+Tab.
#pragma once

#include <windows.h>

#include <cstdint>

#include "events.h"

// Flags of open_window; every other bit is a native window style bit.
constexpr int32_t WINDOW_SCREEN_CENTRED = 0x1;
constexpr int32_t WINDOW_PARENT_CENTRED = 0x2;
constexpr int32_t WINDOW_TOOL = 0x4;
constexpr int32_t WINDOW_NO_GADGET_LIST = 0x8;
// The bit of WS_VISIBLE, with the opposite meaning: create the window hidden.
constexpr int32_t WINDOW_INVISIBLE = 0x10000000;

// Window properties: the number + 1 of a window (0 reads as absent), and the
// drop target of a window that accepts drops.
constexpr const char* WINDOW_ID_PROPERTY = "VX_WindowID";
constexpr const char* DROP_ACCEPT_PROPERTY = "VX_DropAccept";

// A coordinate that asks for the system's default position.
constexpr int32_t POSITION_DEFAULT = -65535;

// Commands of the two accelerator entries every window gets.
constexpr WORD FOCUS_NEXT_COMMAND = 64001;
constexpr WORD FOCUS_PREVIOUS_COMMAND = 64002;

using BackgroundPainter = LRESULT (*)(HWND window, HDC dc);

// A message handler's answer for a message it leaves alone.
constexpr LRESULT NOT_HANDLED = 0xD0D0D0D1;

// What the window library needs from the gadget library, which registers it
// when it starts: the window library never calls it directly. Empty slots
// route nothing and keep no gadget list.
struct GadgetHooks {
    // Hands a control's message to the gadget that owns `control`; its result,
    // or NOT_HANDLED when no gadget owns the control or the gadget declines.
    LRESULT (*route_control_message)(HWND parent, HWND control, UINT message, WPARAM wparam, LPARAM lparam);
    // Makes a newly opened window the one that receives new gadgets.
    HWND (*use_gadget_list)(HWND window);
};
void set_gadget_hooks(const GadgetHooks& hooks);
const GadgetHooks& gadget_hooks();

struct WindowRecord {
    HWND handle;                     // non-zero exactly while the window exists
    ACCEL* accelerator_entries;      // on the main heap
    HACCEL accelerator_table;
    MessageCallback message_callback;  // per-window hook, or null
    int32_t accelerator_count;
    HBRUSH background_brush;         // when set, fills the client area on erase
    HWND mdi_client;
    BackgroundPainter background_painter;
    uint16_t minimum_width;          // tracking bounds; 0 leaves the system's value
    uint16_t minimum_height;
    uint16_t maximum_width;
    uint16_t maximum_height;
    int32_t minimised_or_maximised;  // 1 while minimised or maximised
};

// Creates the window table and the event state and loads the icon and cursor
// that every window class uses. init_event_queue comes first.
void init_window_library();

// Returns the native handle, the dynamic number for ANY_NUMBER, or 0 on
// failure. `parent` becomes the owner and the reference for parent centring.
intptr_t open_window(int32_t number, int32_t x, int32_t y, int32_t inner_width, int32_t inner_height,
                     const char* title, int32_t flags, HWND parent = nullptr);
HWND window_handle(int32_t number);
int32_t set_window_title(int32_t number, const char* text);
int32_t disable_window(int32_t number, int32_t state);
void close_window(int32_t number);
void close_all_windows();

// The record of an open window, or null.
WindowRecord* find_window(int32_t number);
