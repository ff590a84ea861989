// canvas.h: the canvas gadget, a window that shows a 24-bit back buffer and
// reports mouse, keyboard and focus activity as gadget events carrying the
// position, buttons, key, modifiers, wheel and character, which the
// application reads through attributes 2 to 9 while it handles the event.
#pragma once

#include <cstdint>

#include "drawing.h"
#include "gadget.h"

// Creation flags.
constexpr int32_t CANVAS_BORDER = 1;      // client edge; the buffer is 4 pixels smaller each way
constexpr int32_t CANVAS_CLIP_MOUSE = 2;  // a held button confines the cursor to the canvas
constexpr int32_t CANVAS_KEYBOARD = 4;    // a tab stop that takes the focus on a click
constexpr int32_t CANVAS_DRAW_FOCUS = 8;  // a focus rectangle while it has the focus

// Event sub-types (with EVENT_GADGET); focus events use GADGET_FOCUS_*.
constexpr int32_t CANVAS_LEFT_CLICK = 0;
constexpr int32_t CANVAS_RIGHT_CLICK = 1;
constexpr int32_t CANVAS_LEFT_DOUBLE_CLICK = 2;
constexpr int32_t CANVAS_RIGHT_DOUBLE_CLICK = 3;
constexpr int32_t CANVAS_MOUSE_ENTER = 0x10001;
constexpr int32_t CANVAS_MOUSE_LEAVE = 0x10002;
constexpr int32_t CANVAS_MOUSE_MOVE = 0x10003;
constexpr int32_t CANVAS_LEFT_DOWN = 0x10004;
constexpr int32_t CANVAS_LEFT_UP = 0x10005;
constexpr int32_t CANVAS_RIGHT_DOWN = 0x10006;
constexpr int32_t CANVAS_RIGHT_UP = 0x10007;
constexpr int32_t CANVAS_MIDDLE_DOWN = 0x10008;
constexpr int32_t CANVAS_MIDDLE_UP = 0x10009;
constexpr int32_t CANVAS_WHEEL = 0x1000A;
constexpr int32_t CANVAS_KEY_DOWN = 0x1000B;
constexpr int32_t CANVAS_KEY_UP = 0x1000C;
constexpr int32_t CANVAS_INPUT = 0x1000D;

// Attributes.
constexpr int32_t CANVAS_IMAGE = 1;
constexpr int32_t CANVAS_MOUSE_X = 2;
constexpr int32_t CANVAS_MOUSE_Y = 3;
constexpr int32_t CANVAS_BUTTONS = 4;
constexpr int32_t CANVAS_KEY = 5;
constexpr int32_t CANVAS_MODIFIERS = 6;
constexpr int32_t CANVAS_CURSOR = 7;
constexpr int32_t CANVAS_WHEEL_DELTA = 8;
constexpr int32_t CANVAS_CHARACTER = 9;
constexpr int32_t CANVAS_CLIP = 10;
constexpr int32_t CANVAS_CUSTOM_CURSOR = 11;

// Cursor numbers of attribute 7: 0 arrow, 1 cross, 2 I-beam, 3 hand, 4 wait,
// 5 no, 6 size all, 7 size west-east, 8 size north-south, 9 size north-east
// to south-west, 10 size north-west to south-east, 11 hidden.
constexpr int32_t CANVAS_CURSOR_HIDDEN = 11;

intptr_t create_canvas_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t flags = 0);

// A drawing output on the canvas's back buffer, or null when `number` is not
// a canvas with a usable buffer. Stopping the drawing repaints the canvas.
DrawingContext* canvas_output(int32_t number);
