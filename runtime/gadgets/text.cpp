// text.cpp: the text label gadget, a static control whose text and
// background colours the application may choose.
#include "gadget_colours.h"
#include "standard_gadgets.h"

namespace {

LRESULT text_parent_message(GadgetRecord* gadget, HWND, UINT message, WPARAM wparam, LPARAM)
{
    if (message != WM_CTLCOLORSTATIC) return NOT_HANDLED;
    return answer_control_colour(gadget, reinterpret_cast<HDC>(wparam), COLOR_BTNFACE);
}

constexpr GadgetKind TEXT_KIND{
    .kind_number = GADGET_KIND_TEXT,
    .size = sizeof(GadgetKind),
    .parent_message = text_parent_message,
    .release = release_gadget_colours,
    .set_color = set_gadget_colour_words,
    .get_color = get_gadget_colour_words,
};

}  // namespace

intptr_t create_text_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* text, int32_t flags)
{
    const DWORD extended_style = (flags & TEXT_BORDER) ? WS_EX_CLIENTEDGE : 0;
    HWND window =
        create_gadget_window(extended_style, "Static", text, static_cast<DWORD>(flags) | WS_GROUP, x, y, width, height);
    if (!window) return 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    if (!record) {
        DestroyWindow(window);
        return 0;
    }
    record->kind_word_1 = GADGET_DEFAULT_COLOUR;
    record->kind_word_2 = GADGET_DEFAULT_COLOUR;
    return register_gadget(number, record, window, &TEXT_KIND);
}
