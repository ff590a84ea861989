// gadget_colours.cpp: the brush cache and the colour operations shared by
// the text, spin and string kinds.
#include "gadget_colours.h"

#include "heap.h"

namespace {

struct CachedBrush {
    CachedBrush* next;
    int32_t colour;
    int32_t references;
    HBRUSH brush;
};

CachedBrush* g_brushes = nullptr;  // guarded by the gadget library lock

}  // namespace

HBRUSH take_brush(int32_t colour)
{
    lock_gadget_library();
    HBRUSH result = nullptr;
    for (CachedBrush* entry = g_brushes; entry; entry = entry->next) {
        if (entry->colour == colour) {
            ++entry->references;
            result = entry->brush;
            break;
        }
    }
    if (!result) {
        auto* entry = static_cast<CachedBrush*>(main_alloc(sizeof(CachedBrush)));
        HBRUSH brush = entry ? CreateSolidBrush(static_cast<COLORREF>(colour) & 0xFFFFFF) : nullptr;
        if (brush) {
            entry->colour = colour;
            entry->references = 1;
            entry->brush = brush;
            entry->next = g_brushes;
            g_brushes = entry;
            result = brush;
        } else {
            main_free(entry);
        }
    }
    unlock_gadget_library();
    return result;
}

void release_brush(HBRUSH brush)
{
    if (!brush) return;
    lock_gadget_library();
    for (CachedBrush** link = &g_brushes; *link; link = &(*link)->next) {
        CachedBrush* entry = *link;
        if (entry->brush != brush) continue;
        if (--entry->references <= 0) {
            *link = entry->next;
            DeleteObject(entry->brush);
            main_free(entry);
        }
        break;
    }
    unlock_gadget_library();
}

void set_gadget_colour_words(GadgetRecord* gadget, int32_t colour_kind, int32_t colour)
{
    if (colour_kind == GADGET_COLOUR_TEXT) {
        gadget->kind_word_2 = colour;
    } else if (colour_kind == GADGET_COLOUR_BACKGROUND) {
        release_brush(reinterpret_cast<HBRUSH>(gadget->kind_word_3));
        HBRUSH brush = colour == GADGET_DEFAULT_COLOUR ? nullptr : take_brush(colour);
        gadget->kind_word_3 = reinterpret_cast<intptr_t>(brush);
        gadget->kind_word_1 = colour;
    } else {
        return;
    }
    RedrawWindow(gadget->window, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_FRAME);
}

int32_t get_gadget_colour_words(GadgetRecord* gadget, int32_t colour_kind)
{
    if (colour_kind == GADGET_COLOUR_TEXT) return static_cast<int32_t>(gadget->kind_word_2);
    if (colour_kind == GADGET_COLOUR_BACKGROUND) return static_cast<int32_t>(gadget->kind_word_1);
    return GADGET_DEFAULT_COLOUR;
}

void release_gadget_colours(GadgetRecord* gadget)
{
    release_brush(reinterpret_cast<HBRUSH>(gadget->kind_word_3));
    gadget->kind_word_3 = 0;
}

LRESULT answer_control_colour(GadgetRecord* gadget, HDC dc, int default_background)
{
    const auto background = static_cast<int32_t>(gadget->kind_word_1);
    const auto text = static_cast<int32_t>(gadget->kind_word_2);
    if (background == GADGET_DEFAULT_COLOUR && text == GADGET_DEFAULT_COLOUR) return NOT_HANDLED;
    if (text != GADGET_DEFAULT_COLOUR) SetTextColor(dc, static_cast<COLORREF>(text));
    // A background colour without a brush (none could be made) paints as the default.
    if (background == GADGET_DEFAULT_COLOUR || !gadget->kind_word_3) {
        SetBkColor(dc, GetSysColor(default_background));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(default_background));
    }
    SetBkColor(dc, static_cast<COLORREF>(background));
    return static_cast<LRESULT>(gadget->kind_word_3);
}
