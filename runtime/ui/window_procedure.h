// window_procedure.h: the one window procedure of every runtime window, the
// choice of accelerator table and the keyboard focus movement.
#pragma once

#include <windows.h>

// Turns window messages into events, routes control messages to the gadget
// that owns the control, and moves the focus on the Tab accelerators.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Makes WM_NOTIFY and WM_GETMINMAXINFO posted to any window of the calling
// thread harmless before they are dispatched (the genuine ones are only ever
// sent). init_window_library calls it; it lasts as long as the thread.
void install_message_guard();

// The accelerator table that applies to the message just retrieved, or null.
HACCEL choose_accelerator_table();

// Moves the keyboard focus to the next (or previous) enabled, visible tab stop
// of the active window, wrapping around at either end.
void move_focus(bool forward);
