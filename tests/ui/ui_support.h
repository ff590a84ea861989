// ui_support.h: helpers of the window library tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "events.h"

struct Event {
    int32_t code, object, window, type;
    bool operator==(const Event&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Event& e)
{
    return out << "{" << e.code << ", " << e.object << ", " << e.window << ", " << e.type << "}";
}

// The current event as the accessors report it.
Event current_event(int32_t code);
// Takes events until a poll finds nothing, queued or native.
std::vector<Event> drain_events();
// The events of `window` whose code is one of `codes`, in order.
std::vector<Event> only(const std::vector<Event>& events, std::vector<int32_t> codes, int32_t window);
bool contains(const std::vector<Event>& events, int32_t code);
// Blocks in use on the main heap.
size_t busy_heap_blocks();
// Opens window `number` at (40, 40) with a client area of 320 x 240.
HWND open_test_window(int32_t number, int32_t flags = WS_CAPTION | WS_SYSMENU);

// Waits for events until `done` holds, keeping what arrived; false when it
// still does not hold after a generous bound.
template <typename Done>
bool pump_until(Done done, std::vector<Event>* seen)
{
    const ULONGLONG limit = GetTickCount64() + 5000;
    while (!done()) {
        if (GetTickCount64() > limit) return false;
        if (int32_t code = wait_event_timeout(20)) seen->push_back(current_event(code));
    }
    return true;
}
