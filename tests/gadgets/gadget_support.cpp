// gadget_support.cpp: helpers shared by the gadget tests.
#include "gadget_support.h"

#include "gadget.h"
#include "strings.h"
#include "window.h"

HWND open_gadget_window(int32_t number, int32_t width, int32_t height)
{
    open_window(number, 0, 0, width, height, "Gadgets", WS_CAPTION | WS_SYSMENU);
    return window_handle(number);
}

std::vector<int32_t> gadget_types(const std::vector<Event>& events, int32_t gadget)
{
    std::vector<int32_t> types;
    for (const Event& e : events)
        if (e.code == EVENT_GADGET && e.object == gadget) types.push_back(e.type);
    return types;
}

std::string gadget_text(int32_t number)
{
    const int32_t position = string_position();
    get_gadget_text(number, position);
    std::string text = string_at(position);
    set_string_position(position);
    return text;
}
