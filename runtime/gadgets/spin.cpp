// spin.cpp: the spin gadget, an edit field with an up-down control at its
// right. The field is the gadget's window; the arrows carry the gadget's
// number too, so that their notifications reach the gadget.
#include <windows.h>
#include <commctrl.h>

#include "events.h"
#include "gadget_colours.h"
#include "standard_gadgets.h"

namespace {

// Every spin field's procedure under the spin's own subclass is the common
// gadget procedure, so one saved value serves them all.
WNDPROC g_field_next_procedure = nullptr;

HWND arrows_of(const GadgetRecord* gadget) { return reinterpret_cast<HWND>(gadget->kind_word_4); }

void read_range(const GadgetRecord* gadget, int32_t* minimum, int32_t* maximum)
{
    int low = 0;
    int high = 0;
    if (HWND arrows = arrows_of(gadget))
        SendMessageA(arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    *minimum = low;
    *maximum = high;
}

// The position kept inside the range, whichever way round the range was given.
int32_t clamp_to_range(const GadgetRecord* gadget, int32_t value)
{
    int32_t minimum;
    int32_t maximum;
    read_range(gadget, &minimum, &maximum);
    const int32_t low = minimum < maximum ? minimum : maximum;
    const int32_t high = minimum < maximum ? maximum : minimum;
    return value < low ? low : value > high ? high : value;
}

int32_t spin_get_state(GadgetRecord* gadget)
{
    HWND arrows = arrows_of(gadget);
    if (!arrows) return 0;
    BOOL failed = FALSE;
    const auto position =
        static_cast<int32_t>(SendMessageA(arrows, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    return clamp_to_range(gadget, position);
}

void spin_set_state(GadgetRecord* gadget, int32_t value)
{
    if (HWND arrows = arrows_of(gadget)) SendMessageA(arrows, UDM_SETPOS32, 0, clamp_to_range(gadget, value));
}

// A text set by the application must not come back to it as a change event.
// The field reports the change while its text is being set, as a sent
// message; that report alone is taken back. Input still waiting in the queue
// (keys typed quickly, a menu choice) is left for the event loop, where
// flushing the whole queue would handle it without its events.
void spin_set_text(GadgetRecord* gadget, const char* text)
{
    EventState* state = event_state();
    EventState saved{};
    if (state) saved = *state;
    SetWindowTextA(gadget->window, text);
    if (state) {
        state->pending_object = saved.pending_object;
        state->pending_window = saved.pending_window;
        state->pending_type = saved.pending_type;
        state->pending_code = saved.pending_code;
        state->pending_wparam = saved.pending_wparam;
        state->pending_lparam = saved.pending_lparam;
    }
}

RECT field_rectangle(const GadgetRecord* gadget)
{
    RECT area{};
    GetWindowRect(gadget->window, &area);
    MapWindowPoints(nullptr, GetParent(gadget->window), reinterpret_cast<POINT*>(&area), 2);
    return area;
}

int32_t spin_get_width(GadgetRecord* gadget)
{
    const RECT area = field_rectangle(gadget);
    return (area.right - area.left) + (area.bottom - area.top) / 2;
}

// The arrows take half the height in width at the right of the gadget.
void spin_resize(GadgetRecord* gadget, int32_t x, int32_t y, int32_t width, int32_t height)
{
    const RECT area = field_rectangle(gadget);
    if (x == KEEP_VALUE) x = area.left;
    if (y == KEEP_VALUE) y = area.top;
    if (width == KEEP_VALUE) width = spin_get_width(gadget);
    if (height == KEEP_VALUE) height = area.bottom - area.top;
    const int32_t arrows_width = height / 2;
    const UINT redraw = RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT;
    MoveWindow(gadget->window, x, y, width - arrows_width, height, TRUE);
    RedrawWindow(gadget->window, nullptr, nullptr, redraw);
    if (HWND arrows = arrows_of(gadget)) {
        MoveWindow(arrows, x + width - arrows_width, y, arrows_width, height, TRUE);
        RedrawWindow(arrows, nullptr, nullptr, redraw);
    }
}

void spin_hide(GadgetRecord* gadget, int32_t flag)
{
    const int command = flag ? SW_HIDE : SW_SHOW;
    ShowWindow(gadget->window, command);
    if (HWND arrows = arrows_of(gadget)) ShowWindow(arrows, command);
}

int32_t spin_get_attribute(GadgetRecord* gadget, int32_t attribute)
{
    int32_t minimum;
    int32_t maximum;
    read_range(gadget, &minimum, &maximum);
    if (attribute == SPIN_MINIMUM) return minimum;
    if (attribute == SPIN_MAXIMUM) return maximum;
    return 0;
}

void spin_set_attribute(GadgetRecord* gadget, int32_t attribute, int32_t value)
{
    HWND arrows = arrows_of(gadget);
    if (!arrows || (attribute != SPIN_MINIMUM && attribute != SPIN_MAXIMUM)) return;
    int32_t minimum;
    int32_t maximum;
    read_range(gadget, &minimum, &maximum);
    if (attribute == SPIN_MINIMUM)
        minimum = value;
    else
        maximum = value;
    SendMessageA(arrows, UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

LRESULT spin_parent_message(GadgetRecord* gadget, HWND, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_NOTIFY: {
        const auto* change = reinterpret_cast<const NMUPDOWN*>(lparam);
        if (!change || change->hdr.code != static_cast<UINT>(UDN_DELTAPOS)) return NOT_HANDLED;
        post_gadget_event(gadget->window, change->iDelta > 0 ? SPIN_UP : SPIN_DOWN);
        return 0;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        // The arrows report their move here too; the delta already made the event.
        return 0;
    case WM_CTLCOLOREDIT:
        return answer_control_colour(gadget, reinterpret_cast<HDC>(wparam), COLOR_WINDOW);
    case WM_CTLCOLORSTATIC: {
        // A read-only field of an enabled spin looks like a field, not a label.
        HWND arrows = arrows_of(gadget);
        if (!arrows || !IsWindowEnabled(arrows)) return NOT_HANDLED;
        LRESULT answer = answer_control_colour(gadget, reinterpret_cast<HDC>(wparam), COLOR_WINDOW);
        if (answer != NOT_HANDLED) return answer;
        auto dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    }
    default:
        return NOT_HANDLED;
    }
}

void spin_release(GadgetRecord* gadget)
{
    release_gadget_colours(gadget);
    HWND arrows = arrows_of(gadget);
    gadget->kind_word_4 = 0;
    if (arrows && IsWindow(arrows)) {
        RemovePropA(arrows, GADGET_ID_PROPERTY);
        DestroyWindow(arrows);
    }
}

// The arrows follow the field when it is enabled or disabled.
LRESULT CALLBACK spin_field_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_ENABLE) {
        const auto number = static_cast<int32_t>(GetWindowLongPtrA(window, GWLP_ID));
        if (GadgetRecord* gadget = find_gadget(number); gadget && gadget->window == window && arrows_of(gadget))
            EnableWindow(arrows_of(gadget), wparam != 0);
    }
    return g_field_next_procedure ? CallWindowProcA(g_field_next_procedure, window, message, wparam, lparam)
                                  : DefWindowProcA(window, message, wparam, lparam);
}

constexpr GadgetKind SPIN_KIND{
    .kind_number = GADGET_KIND_SPIN,
    .size = sizeof(GadgetKind),
    .parent_message = spin_parent_message,
    .release = spin_release,
    .get_state = spin_get_state,
    .set_state = spin_set_state,
    .set_text = spin_set_text,
    .resize = spin_resize,
    .get_width = spin_get_width,
    .hide = spin_hide,
    .get_attribute = spin_get_attribute,
    .set_attribute = spin_set_attribute,
    .set_color = set_gadget_colour_words,
    .get_color = get_gadget_colour_words,
};

}  // namespace

intptr_t create_spin_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            int32_t minimum, int32_t maximum, int32_t flags)
{
    DWORD field_style = WS_TABSTOP | ES_RIGHT;
    if (flags & SPIN_READ_ONLY) field_style |= ES_READONLY;
    HWND field = create_gadget_window(WS_EX_CLIENTEDGE, "EDIT", "", field_style, 0, 0, 0, 0);
    if (!field) return 0;
    int32_t dynamic_number = 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number, &dynamic_number));
    if (!record) {
        DestroyWindow(field);
        return 0;
    }
    const int32_t own_number = number == ANY_NUMBER ? dynamic_number : number;

    DWORD arrows_style = WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
    if (flags & SPIN_NUMERIC) arrows_style |= UDS_SETBUDDYINT;
    HWND arrows = CreateWindowExA(0, UPDOWN_CLASSA, "", arrows_style, 0, 0, 0, 0, GetParent(field),
                                  reinterpret_cast<HMENU>(static_cast<intptr_t>(own_number)),
                                  GetModuleHandleA(nullptr), nullptr);
    if (arrows) {
        SetPropA(arrows, GADGET_ID_PROPERTY, reinterpret_cast<HANDLE>(static_cast<intptr_t>(own_number)));
        SendMessageA(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(field), 0);
        SendMessageA(arrows, UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
    }
    record->kind_word_1 = GADGET_DEFAULT_COLOUR;
    record->kind_word_2 = GADGET_DEFAULT_COLOUR;
    record->kind_word_4 = reinterpret_cast<intptr_t>(arrows);

    const intptr_t result = register_gadget(number, record, field, &SPIN_KIND);
    if (!result) return 0;
    spin_resize(record, x, y, width, height);
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(spin_field_procedure)));
    if (!g_field_next_procedure) g_field_next_procedure = previous;
    return result;
}
