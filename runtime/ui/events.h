// events.h: the event stream of the window library.
//
// Everything that happens to the runtime's windows reaches the application as
// one integer code returned by wait_event. Three sources feed it, taken in this
// order: the in-process queue (window-procedure and gadget events), the direct
// slot that the window procedure fills while wait_event dispatches one native
// message, and else the raw number of that native message.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int32_t EVENT_MOVE = 0x0003;
constexpr int32_t EVENT_SIZE = 0x0005;
constexpr int32_t EVENT_REPAINT = 0x000F;
constexpr int32_t EVENT_CLOSE = 0x0010;
constexpr int32_t EVENT_GADGET = 0x332C;
constexpr int32_t EVENT_MENU = 0x332D;
constexpr int32_t EVENT_TRAY = 0x332E;
constexpr int32_t EVENT_ACTIVATE = 0x3330;
constexpr int32_t EVENT_WINDOW_DROP = 0x3331;
constexpr int32_t EVENT_GADGET_DROP = 0x3332;
constexpr int32_t EVENT_MINIMIZE = 0x3333;
constexpr int32_t EVENT_MAXIMIZE = 0x3334;
constexpr int32_t EVENT_RESTORE = 0x3335;
constexpr int32_t EVENT_TIMER = 0x3336;

// Native messages that carry runtime events: the notification-icon callback
// and the two drop messages posted by drop targets.
constexpr UINT TRAY_MESSAGE = 12501;
constexpr UINT WINDOW_DROP_MESSAGE = 13105;
constexpr UINT GADGET_DROP_MESSAGE = 13106;

// Frees the data attached to an event.
using EventReleaseOperation = void (*)(void* data);
// A message hook; any result other than MESSAGE_CALLBACK_PASS is final.
using MessageCallback = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
constexpr LRESULT MESSAGE_CALLBACK_PASS = 0xE0E0E0E1;

// What a drop target hands to the event state: the dropped data, copied.
// The record and its data live on the main heap.
struct DropRecord {
    int32_t format;        // the matched format (0x200 for a private type)
    int32_t private_type;  // 0 for a data drop
    int32_t effect;        // the DROPEFFECT chosen for the drop
    int32_t x;             // drop point, client coordinates of the target window
    int32_t y;
    void* data;            // heap copy of the dropped block, or null
    int32_t size;          // bytes in data
};

// The event being produced (pending) and the event last returned (current).
// The pending code is the direct slot. The accessors read the current fields.
struct EventState {
    int32_t pending_object;
    int32_t pending_window;
    int32_t pending_type;
    int32_t pending_code;
    WPARAM pending_wparam;
    LPARAM pending_lparam;
    void* pending_data;
    EventReleaseOperation pending_release;
    int32_t current_object;
    int32_t current_window;
    int32_t current_type;
    int32_t current_code;
    WPARAM current_wparam;
    LPARAM current_lparam;
    void* current_data;
    EventReleaseOperation current_release;
    MessageCallback global_message_callback;
    DropRecord* pending_drop_record;  // owned here until the next wait
};

// Creates the queue; called once before init_window_library.
void init_event_queue();
// Creates the event state; init_window_library calls it.
void init_event_state();
// The process's event state, or null before init_event_state.
EventState* event_state();

int32_t wait_event();
// 0 when nothing arrived within `milliseconds`; 0 polls, -1 waits without limit.
int32_t wait_event_timeout(int32_t milliseconds);

int32_t event_gadget();
int32_t event_menu();
int32_t event_type();

void post_event(int32_t code, int32_t object, int32_t window, int32_t type);
// The queue owns `data` from here on: `release` is called with it exactly once,
// at the wait after the one that returned the event, or at once when the event
// is not queued (a duplicate of the newest entry, no memory) or is removed.
void post_event_with_data(int32_t code, int32_t object, int32_t window, int32_t type,
                          void* data, EventReleaseOperation release);
// Removes queued events matching every key that is not -1.
void remove_events(int32_t code, int32_t object, int32_t window, int32_t type);
void remove_window_events(int32_t window);

// Dispatches every native message already waiting, without blocking, and
// discards the direct event that this produced.
void flush_native_messages();

// Frees the pending drop record and its data (end sequence).
void free_pending_drop_record();
