// gadget_string.cpp: the string gadget, a one-line edit field that reports
// gaining and losing the keyboard focus as gadget events of its own.
#include "gadget_colours.h"
#include "standard_gadgets.h"

namespace {

// Every string field's procedure under this subclass is the common gadget
// procedure, so one saved value serves them all.
WNDPROC g_field_next_procedure = nullptr;

LRESULT string_parent_message(GadgetRecord* gadget, HWND, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORSTATIC)
        return answer_control_colour(gadget, reinterpret_cast<HDC>(wparam), COLOR_WINDOW);
    return NOT_HANDLED;
}

LRESULT CALLBACK string_field_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_SETFOCUS) post_gadget_event(window, GADGET_FOCUS_GAINED);
    if (message == WM_KILLFOCUS) post_gadget_event(window, GADGET_FOCUS_LOST);
    return g_field_next_procedure ? CallWindowProcA(g_field_next_procedure, window, message, wparam, lparam)
                                  : DefWindowProcA(window, message, wparam, lparam);
}

constexpr GadgetKind STRING_KIND{
    .kind_number = GADGET_KIND_STRING,
    .size = sizeof(GadgetKind),
    .parent_message = string_parent_message,
    .release = release_gadget_colours,
    .set_color = set_gadget_colour_words,
    .get_color = get_gadget_colour_words,
};

}  // namespace

intptr_t create_string_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                              const char* text, int32_t flags)
{
    const DWORD extended_style = (flags & STRING_BORDERLESS) ? 0 : WS_EX_CLIENTEDGE;
    HWND window = create_gadget_window(extended_style, "Edit", text,
                                       static_cast<DWORD>(flags) | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, x, y,
                                       width, height);
    if (!window) return 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    if (!record) {
        DestroyWindow(window);
        return 0;
    }
    record->kind_word_1 = GADGET_DEFAULT_COLOUR;
    record->kind_word_2 = GADGET_DEFAULT_COLOUR;
    const intptr_t result = register_gadget(number, record, window, &STRING_KIND);
    if (!result) return 0;
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(string_field_procedure)));
    if (!g_field_next_procedure) g_field_next_procedure = previous;
    return result;
}
