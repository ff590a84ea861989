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

#include "events.h"

// OLE for dropping; init_drop at start-up, end_drop in the end sequence
// (which also frees the records of drops posted but never taken).
void init_drop();
void end_drop();

// Accept `format` (a clipboard format such as CF_HDROP) with the DROPEFFECT
// bits `actions`; actions 0 withdraws the format, and withdrawing the last one
// revokes the target. Nothing happens for format 0 or an unknown number.
void enable_window_drop(int32_t window, int32_t format, int32_t actions);
// The same for a control: `gadget_kind` (never 0, which marks a window) and
// `number` name the gadget that drops on it report; the gadget library's
// enable_gadget_drop calls it.
void enable_control_drop(HWND window, int32_t gadget_kind, int32_t number, int32_t format, int32_t actions);

// The dropped paths of the current drop event, separated by line feeds,
// written at `position`; "" when the current event is no file drop or its
// record was already released.
void event_drop_files(int32_t position);

// Withdraws a window's drop target and discards drops already posted to it;
// a window that is about to be destroyed calls it.
void release_window_drop(HWND window);

// Records posted and not yet taken, at most; a drop beyond them is refused.
constexpr int32_t POSTED_DROP_LIMIT = 32;

// Posts `record` to `window` as a drop target does, listed so that the window
// procedure accepts it. The record is the receiver's once this returns true,
// and still the caller's when it returns false (a failed post, or
// POSTED_DROP_LIMIT records already waiting).
bool post_drop_record(HWND window, UINT message, WPARAM wparam, DropRecord* record);

// Any process can post the drop messages, so their lParam is never read as a
// pointer until it is found among the records that this process's drop
// targets posted and that no one has taken yet. Returns that record, now the
// caller's, when `window`, `message`, `wparam` and `lparam` are exactly those
// of such a post; null for anything else (nothing is read or freed then).
// Drop targets and window procedures run on the thread that owns the windows.
DropRecord* claim_posted_drop(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
