// ui_support.cpp: starts the window library the way the program does.
#include "ui_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "gadget.h"
#include "heap.h"
#include "menus.h"
#include "window.h"

namespace {

class WindowLibraries : public testing::Environment {
    void SetUp() override
    {
        init_event_queue();
        init_window_library();
        init_gadgets();
        init_menu_library();
    }
    void TearDown() override { close_all_windows(); }
};
const auto* const g_environment = testing::AddGlobalTestEnvironment(new WindowLibraries);

}  // namespace

size_t busy_heap_blocks()
{
    PROCESS_HEAP_ENTRY entry{};
    size_t count = 0;
    while (HeapWalk(main_heap(), &entry)) count += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    return count;
}

Event current_event(int32_t code) { return {code, event_gadget(), event_state()->current_window, event_type()}; }

std::vector<Event> drain_events()
{
    std::vector<Event> events;
    while (int32_t code = wait_event_timeout(0)) events.push_back(current_event(code));
    return events;
}

std::vector<Event> only(const std::vector<Event>& events, std::vector<int32_t> codes, int32_t window)
{
    std::vector<Event> kept;
    for (const Event& e : events)
        if (e.window == window && std::find(codes.begin(), codes.end(), e.code) != codes.end()) kept.push_back(e);
    return kept;
}

bool contains(const std::vector<Event>& events, int32_t code)
{
    return std::any_of(events.begin(), events.end(), [code](const Event& e) { return e.code == code; });
}

HWND open_test_window(int32_t number, int32_t flags)
{
    open_window(number, 40, 40, 320, 240, "Test", flags);
    return window_handle(number);
}
