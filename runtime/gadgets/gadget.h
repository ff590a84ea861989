// gadget.h: the gadget core. A gadget is a native control window named by a
// number, with a record in the gadget table and a kind: a table of operations
// through which the generic gadget operations and the window procedure reach
// the control's own behaviour.
#pragma once

#include <windows.h>

#include <cstdint>

#include "registry.h"
// NOT_HANDLED, and the hooks through which the window library reaches gadgets.
#include "window.h"

// The gadget number on every gadget window (it must equal the control's
// identifier for the window procedure to route the control's messages).
constexpr const char* GADGET_ID_PROPERTY = "VX_ID";

// Sub-types of the keyboard focus events of gadgets that take the focus.
constexpr int32_t GADGET_FOCUS_GAINED = 14000;
constexpr int32_t GADGET_FOCUS_LOST = 14001;

struct GadgetKind;

struct GadgetRecord {
    HWND window;                  // the gadget's main window; non-zero while it exists
    const GadgetKind* kind;
    WNDPROC previous_procedure;   // the control's procedure before the gadget core's
    intptr_t kind_word_1;         // kind-specific
    intptr_t kind_word_2;
    intptr_t kind_word_3;
    intptr_t kind_word_4;
};

// Operations of a kind, in slot order; an empty slot falls back to the
// generic default or does nothing. Kinds fill their tables as data, naming
// only the slots they use.
struct GadgetKind {
    int32_t kind_number = 0;
    int32_t size = 0;
    LRESULT (*parent_message)(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wparam, LPARAM lparam) = nullptr;
    void (*release)(GadgetRecord* gadget) = nullptr;
    int32_t (*get_state)(GadgetRecord* gadget) = nullptr;
    void (*set_state)(GadgetRecord* gadget, int32_t value) = nullptr;
    void (*get_text)(GadgetRecord* gadget, int32_t position) = nullptr;
    void (*set_text)(GadgetRecord* gadget, const char* text) = nullptr;
    void (*resize)(GadgetRecord* gadget, int32_t x, int32_t y, int32_t width, int32_t height) = nullptr;
    int32_t (*get_x)(GadgetRecord* gadget) = nullptr;
    int32_t (*get_y)(GadgetRecord* gadget) = nullptr;
    int32_t (*get_width)(GadgetRecord* gadget) = nullptr;
    int32_t (*get_height)(GadgetRecord* gadget) = nullptr;
    void (*hide)(GadgetRecord* gadget, int32_t flag) = nullptr;
    int32_t (*get_attribute)(GadgetRecord* gadget, int32_t attribute) = nullptr;
    void (*set_attribute)(GadgetRecord* gadget, int32_t attribute, int32_t value) = nullptr;
    void (*set_color)(GadgetRecord* gadget, int32_t colour_kind, int32_t colour) = nullptr;
    int32_t (*get_color)(GadgetRecord* gadget, int32_t colour_kind) = nullptr;
    void (*activate)(GadgetRecord* gadget) = nullptr;
};

constexpr int32_t GADGET_KIND_BUTTON = 1;
constexpr int32_t GADGET_KIND_STRING = 2;
constexpr int32_t GADGET_KIND_TEXT = 3;
constexpr int32_t GADGET_KIND_CHECK_BOX = 4;
constexpr int32_t GADGET_KIND_SCROLL_BAR = 15;
constexpr int32_t GADGET_KIND_SPIN = 26;
constexpr int32_t GADGET_KIND_CANVAS = 33;

// Starts the gadget library and registers its hooks with the window library.
void init_gadgets();
void end_gadgets();

// The library lock; it guards the caches that the kinds share (brushes).
void lock_gadget_library();
void unlock_gadget_library();

// The gadget table; a kind's create operation obtains its record here.
ObjectTable* gadget_table();
// The record of an existing gadget, or null.
GadgetRecord* find_gadget(int32_t number);

// A new control for a create operation: a visible child of the current
// gadget list with identifier -1 (registration gives it its number).
HWND create_gadget_window(DWORD extended_style, const char* class_name, const char* text, DWORD style,
                          int32_t x, int32_t y, int32_t width, int32_t height);

// The last step of every create operation: gives the control its number,
// subclasses it so that it notices its own destruction, and sets its font.
// Returns the dynamic number for ANY_NUMBER, else the window handle.
intptr_t register_gadget(int32_t number, GadgetRecord* record, HWND window, const GadgetKind* kind);
// Destroys the gadget's window; the rest happens when the window goes.
void free_gadget(int32_t number);
HWND gadget_handle(int32_t number);

// Generic operations: each reaches the kind's operation, else a default.
// A number without a gadget does nothing and reads 0 (or the empty text).
void set_gadget_state(int32_t number, int32_t value);
int32_t get_gadget_state(int32_t number);
void set_gadget_text(int32_t number, const char* text);
// Writes the text at `position` of the string stack.
void get_gadget_text(int32_t number, int32_t position);
void set_gadget_attribute(int32_t number, int32_t attribute, int32_t value);
int32_t get_gadget_attribute(int32_t number, int32_t attribute);
void set_gadget_color(int32_t number, int32_t colour_kind, int32_t colour);
int32_t get_gadget_color(int32_t number, int32_t colour_kind);
void hide_gadget(int32_t number, int32_t flag);
void activate_gadget(int32_t number);

// A value that a resize leaves as it is.
constexpr int32_t KEEP_VALUE = -65535;
// Moves the gadget with the kind's own resize when it has one.
void resize_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height);
// The generic move: KEEP_VALUE keeps a value (from the kind's size hooks
// when it has them, else from the window's rectangle in its parent).
void resize_gadget(GadgetRecord* gadget, int32_t x, int32_t y, int32_t width, int32_t height);

// Accept drops of `format` on a gadget, as enable_window_drop does for a window.
void enable_gadget_drop(int32_t gadget, int32_t format, int32_t actions);

// The nearest ancestor-or-self carrying "VX_WindowID", else the topmost one.
HWND gadget_top_window(HWND window);
// The number of the runtime window holding `window`, -1 when there is none.
int32_t gadget_window_number(HWND window);
// Queues EVENT_GADGET for the gadget whose window this is, without data.
void post_gadget_event(HWND window, int32_t type);

// Makes `window` the window that receives new gadgets and returns the
// previous one; a null window only returns the current one.
HWND use_gadget_list(HWND window);
