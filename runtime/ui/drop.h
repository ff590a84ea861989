// drop.h: windows and gadgets as targets of data dragged from other programs.
//
// A window that accepts drops has an OLE drop target in its "VX_DropAccept"
// property. The target chooses the effect while the user drags and, on the
// drop, copies the data into a DropRecord (events.h) that it posts to the
// window; the window procedure turns it into EVENT_WINDOW_DROP (or
// EVENT_GADGET_DROP) and the event state owns the record until the next wait.
#pragma once

#include <windows.h>
// The DROPEFFECT values that the actions are made of.
#include <ole2.h>

#include <cstdint>

// OLE for dropping; init_drop at start-up, end_drop in the end sequence.
void init_drop();
void end_drop();

// Accept `format` (a clipboard format such as CF_HDROP) with the DROPEFFECT
// bits `actions`; actions 0 withdraws the format, and withdrawing the last one
// revokes the target. Nothing happens for format 0 or an unknown number.
void enable_window_drop(int32_t window, int32_t format, int32_t actions);
void enable_gadget_drop(int32_t gadget, int32_t format, int32_t actions);

// The dropped paths of the current drop event, separated by line feeds,
// written at `position`; "" when the current event is no file drop or its
// record was already released.
void event_drop_files(int32_t position);

// Withdraws a window's drop target and discards drops already posted to it;
// a window that is about to be destroyed calls it.
void release_window_drop(HWND window);
