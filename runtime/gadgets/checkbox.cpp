// checkbox.cpp: the check box gadget. A manual three-state box cycles its
// state itself on each click; the click always reaches the application as
// the gadget event of sub-type 0.
#include "standard_gadgets.h"

namespace {

constexpr intptr_t THREE_STATE = 1;  // kind word 1
constexpr int32_t BUTTON_TYPE_MASK = 0xF;

int32_t check_get_state(GadgetRecord* gadget)
{
    switch (SendMessageA(gadget->window, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return 1;
    case BST_INDETERMINATE: return -1;
    default: return 0;
    }
}

void check_set_state(GadgetRecord* gadget, int32_t value)
{
    WPARAM check = BST_UNCHECKED;
    if (value == -1)
        check = gadget->kind_word_1 == THREE_STATE ? BST_INDETERMINATE : BST_CHECKED;
    else if (value != 0)
        check = BST_CHECKED;
    SendMessageA(gadget->window, BM_SETCHECK, check, 0);
}

LRESULT check_parent_message(GadgetRecord* gadget, HWND, UINT message, WPARAM wparam, LPARAM)
{
    const bool manual = gadget->kind_word_1 == THREE_STATE &&
                        (GetWindowLongPtrA(gadget->window, GWL_STYLE) & BUTTON_TYPE_MASK) == BS_3STATE;
    if (manual && message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
        const bool checked = SendMessageA(gadget->window, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SendMessageA(gadget->window, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    return NOT_HANDLED;
}

constexpr GadgetKind CHECK_BOX_KIND{
    .kind_number = GADGET_KIND_CHECK_BOX,
    .size = sizeof(GadgetKind),
    .parent_message = check_parent_message,
    .get_state = check_get_state,
    .set_state = check_set_state,
};

}  // namespace

intptr_t create_check_box_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                                 const char* text, int32_t flags)
{
    // The button type is the low four bits: only the two three-state types
    // are kept; every other type becomes an automatic check box, so no flag
    // can turn the box into a push button or a group box.
    const int32_t type = flags & BUTTON_TYPE_MASK;
    const bool three_state = type == BS_3STATE || type == BS_AUTO3STATE;
    if (!three_state) flags = (flags & ~BUTTON_TYPE_MASK) | BS_AUTOCHECKBOX;
    HWND window = create_gadget_window(0, "Button", text,
                                       static_cast<DWORD>(flags) | WS_TABSTOP | WS_GROUP, x, y, width, height);
    if (!window) return 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    if (!record) {
        DestroyWindow(window);
        return 0;
    }
    record->kind_word_1 = three_state ? THREE_STATE : 0;
    return register_gadget(number, record, window, &CHECK_BOX_KIND);
}
