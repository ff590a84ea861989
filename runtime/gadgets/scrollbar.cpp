// scrollbar.cpp: the scroll bar gadget. The application's maximum is
// exclusive, so the native maximum is one less and positions run from the
// minimum to maximum - page length.
#include "standard_gadgets.h"

namespace {

void write_info(HWND window, UINT mask, int32_t minimum, int32_t maximum, int32_t page, int32_t position)
{
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    info.nMin = minimum;
    info.nMax = maximum;
    info.nPage = static_cast<UINT>(page);
    info.nPos = position;
    SetScrollInfo(window, SB_CTL, &info, TRUE);
}

bool read_info(HWND window, UINT mask, SCROLLINFO* info)
{
    *info = SCROLLINFO{};
    info->cbSize = sizeof(*info);
    info->fMask = mask;
    return GetScrollInfo(window, SB_CTL, info) != 0;
}

int32_t scroll_get_state(GadgetRecord* gadget)
{
    SCROLLINFO info;
    return read_info(gadget->window, SIF_POS, &info) ? info.nPos : 0;
}

void scroll_set_state(GadgetRecord* gadget, int32_t value)
{
    write_info(gadget->window, SIF_POS, 0, 0, 0, value);
}

int32_t scroll_get_attribute(GadgetRecord* gadget, int32_t attribute)
{
    SCROLLINFO info;
    if (!read_info(gadget->window, SIF_RANGE | SIF_PAGE, &info)) return 0;
    switch (attribute) {
    case SCROLL_BAR_MINIMUM: return info.nMin;
    case SCROLL_BAR_MAXIMUM: return info.nMax;
    case SCROLL_BAR_PAGE: return static_cast<int32_t>(info.nPage);
    default: return 0;
    }
}

void scroll_set_attribute(GadgetRecord* gadget, int32_t attribute, int32_t value)
{
    SCROLLINFO info;
    read_info(gadget->window, SIF_RANGE, &info);
    switch (attribute) {
    case SCROLL_BAR_MINIMUM: write_info(gadget->window, SIF_RANGE, value, info.nMax, 0, 0); break;
    case SCROLL_BAR_MAXIMUM: write_info(gadget->window, SIF_RANGE, info.nMin, value - 1, 0, 0); break;
    case SCROLL_BAR_PAGE: write_info(gadget->window, SIF_PAGE, 0, 0, value, 0); break;
    default: break;
    }
}

// Every scroll action, the end of a drag included, reports one event.
LRESULT scroll_parent_message(GadgetRecord* gadget, HWND, UINT message, WPARAM wparam, LPARAM)
{
    if (message != WM_HSCROLL && message != WM_VSCROLL) return NOT_HANDLED;
    SCROLLINFO info;
    read_info(gadget->window, SIF_PAGE | SIF_POS | SIF_TRACKPOS, &info);
    const auto page = static_cast<int32_t>(info.nPage);
    int32_t position = info.nPos;
    switch (LOWORD(wparam)) {
    case SB_LINEUP: position -= 1; break;
    case SB_LINEDOWN: position += 1; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_THUMBTRACK: position = info.nTrackPos; break;
    default: break;
    }
    SCROLLINFO update{};
    update.cbSize = sizeof(update);
    update.fMask = SIF_POS | SIF_PAGE | SIF_TRACKPOS;
    update.nPage = info.nPage;
    update.nPos = position;
    update.nTrackPos = info.nTrackPos;
    SetScrollInfo(gadget->window, SB_CTL, &update, TRUE);
    post_gadget_event(gadget->window, 0);
    return 0;
}

constexpr GadgetKind SCROLL_BAR_KIND{
    .kind_number = GADGET_KIND_SCROLL_BAR,
    .size = sizeof(GadgetKind),
    .parent_message = scroll_parent_message,
    .get_state = scroll_get_state,
    .set_state = scroll_set_state,
    .get_attribute = scroll_get_attribute,
    .set_attribute = scroll_set_attribute,
};

}  // namespace

intptr_t create_scroll_bar_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int32_t minimum, int32_t maximum, int32_t page_length, int32_t flags)
{
    const DWORD style = (flags & SCROLL_BAR_VERTICAL) ? SBS_VERT : SBS_HORZ;
    HWND window = create_gadget_window(0, "SCROLLBAR", "", style, x, y, width, height);
    if (!window) return 0;
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), number));
    if (!record) {
        DestroyWindow(window);
        return 0;
    }
    write_info(window, SIF_RANGE | SIF_PAGE, minimum, maximum - 1, page_length, 0);
    return register_gadget(number, record, window, &SCROLL_BAR_KIND);
}
