// button.cpp: the button gadget; its state is the check mark of a toggle
// button.
#include "standard_gadgets.h"

namespace {

int32_t button_get_state(GadgetRecord* gadget)
{
    return static_cast<int32_t>(SendMessageA(gadget->window, BM_GETCHECK, 0, 0) & 1);
}

void button_set_state(GadgetRecord* gadget, int32_t value)
{
    SendMessageA(gadget->window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

constexpr GadgetKind BUTTON_KIND{
    .kind_number = GADGET_KIND_BUTTON,
    .size = sizeof(GadgetKind),
    .get_state = button_get_state,
    .set_state = button_set_state,
};

}  // namespace

intptr_t create_button_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                              const char* text, int32_t flags)
{
    HWND window = create_gadget_window(0, "Button", text, static_cast<DWORD>(flags) | WS_TABSTOP | WS_GROUP, x, y,
                                       width, height);
    if (!window) return 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    if (!record) {
        DestroyWindow(window);
        return 0;
    }
    return register_gadget(number, record, window, &BUTTON_KIND);
}
