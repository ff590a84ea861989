// gadget.h: the gadget core. A gadget is a native control window named by a
// number, with a record in the gadget table and a kind: a table of operations
// through which the generic gadget operations and the window procedure reach
// the control's own behaviour.
#pragma once

#include <windows.h>

#include <cstdint>

#include "registry.h"

// A message handler's answer for a message it leaves alone.
constexpr LRESULT NOT_HANDLED = 0xD0D0D0D1;

// The gadget number on every gadget window (it must equal the control's
// identifier for the window procedure to route the control's messages).
constexpr const char* GADGET_ID_PROPERTY = "VX_ID";

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
// generic default or does nothing.
struct GadgetKind {
    int32_t kind_number;
    int32_t size;
    LRESULT (*parent_message)(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wparam, LPARAM lparam);
    void (*release)(GadgetRecord* gadget);
    int32_t (*get_state)(GadgetRecord* gadget);
    void (*set_state)(GadgetRecord* gadget, int32_t value);
    void (*get_text)(GadgetRecord* gadget, int32_t position);
    void (*set_text)(GadgetRecord* gadget, const char* text);
    void (*resize)(GadgetRecord* gadget, int32_t x, int32_t y, int32_t width, int32_t height);
    int32_t (*get_x)(GadgetRecord* gadget);
    int32_t (*get_y)(GadgetRecord* gadget);
    int32_t (*get_width)(GadgetRecord* gadget);
    int32_t (*get_height)(GadgetRecord* gadget);
    void (*hide)(GadgetRecord* gadget, int32_t flag);
    int32_t (*get_attribute)(GadgetRecord* gadget, int32_t attribute);
    void (*set_attribute)(GadgetRecord* gadget, int32_t attribute, int32_t value);
    void (*set_color)(GadgetRecord* gadget, int32_t colour_kind, int32_t colour);
    int32_t (*get_color)(GadgetRecord* gadget, int32_t colour_kind);
    void (*activate)(GadgetRecord* gadget);
};

constexpr int32_t GADGET_KIND_BUTTON = 1;
constexpr int32_t GADGET_KIND_STRING = 2;
constexpr int32_t GADGET_KIND_TEXT = 3;
constexpr int32_t GADGET_KIND_CHECK_BOX = 4;
constexpr int32_t GADGET_KIND_SCROLL_BAR = 15;
constexpr int32_t GADGET_KIND_SPIN = 26;
constexpr int32_t GADGET_KIND_CANVAS = 33;

void init_gadgets();
void end_gadgets();

// The gadget table; a kind's create operation obtains its record here.
ObjectTable* gadget_table();
// The record of an existing gadget, or null.
GadgetRecord* find_gadget(int32_t number);

// The last step of every create operation: gives the control its number,
// subclasses it so that it notices its own destruction, and sets its font.
// Returns the dynamic number for ANY_NUMBER, else the window handle.
intptr_t register_gadget(int32_t number, GadgetRecord* record, HWND window, const GadgetKind* kind);
// Destroys the gadget's window; the rest happens when the window goes.
void free_gadget(int32_t number);
HWND gadget_handle(int32_t number);

// Makes `window` the window that receives new gadgets and returns the
// previous one; a null window only returns the current one.
HWND use_gadget_list(HWND window);
