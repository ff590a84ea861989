// standard_gadgets.h: gadgets made of the system's common controls: scroll
// bar, check box, text label, spin field, button and string field. Each
// create operation returns the dynamic number for ANY_NUMBER, else the
// control's window handle, and 0 when the control cannot be made.
#pragma once

#include <cstdint>

#include "gadget.h"

// Scroll bar flags and attributes. The maximum is exclusive: positions run
// from the minimum to maximum - page length.
constexpr int32_t SCROLL_BAR_VERTICAL = 1;
constexpr int32_t SCROLL_BAR_MINIMUM = 1;
constexpr int32_t SCROLL_BAR_MAXIMUM = 2;  // reads back one less than was set
constexpr int32_t SCROLL_BAR_PAGE = 3;

// Text flags (the static control's alignment styles, plus a border).
constexpr int32_t TEXT_CENTRE = 1;
constexpr int32_t TEXT_RIGHT = 2;
constexpr int32_t TEXT_BORDER = 0x20000;

// Spin flags, attributes and the sub-types of its arrow events.
constexpr int32_t SPIN_READ_ONLY = 1;
constexpr int32_t SPIN_NUMERIC = 2;  // the arrows write the position into the field
constexpr int32_t SPIN_MINIMUM = 1;
constexpr int32_t SPIN_MAXIMUM = 2;
constexpr int32_t SPIN_UP = 1;
constexpr int32_t SPIN_DOWN = -1;

// String flag: no client edge.
constexpr int32_t STRING_BORDERLESS = 0x20000;

intptr_t create_scroll_bar_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int32_t minimum, int32_t maximum, int32_t page_length, int32_t flags = 0);
// Flags with the BS_3STATE bits make a manual three-state box, BS_AUTO3STATE
// a native one; anything else is an automatic two-state box.
intptr_t create_check_box_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                                 const char* text, int32_t flags = 0);
intptr_t create_text_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* text, int32_t flags = 0);
intptr_t create_spin_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            int32_t minimum, int32_t maximum, int32_t flags = 0);
intptr_t create_button_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                              const char* text, int32_t flags = 0);
intptr_t create_string_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                              const char* text, int32_t flags = 0);
