// gadget_core.cpp: the gadget table, registration and the common gadget
// procedure through which every gadget notices its own destruction.
#include "gadget.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>

#include "common_controls.h"
#include "drop.h"
#include "events.h"
#include "heap.h"
#include "platform.h"
#include "strings.h"
#include "window.h"

namespace {

struct GadgetLibrary {
    HWND current_list;   // window that receives new gadgets
    HFONT font;          // sent to every new gadget
    HWND* container_stack;
    int32_t container_depth;
    int32_t container_capacity;
};

GadgetLibrary* g_library = nullptr;
ObjectTable* g_gadgets = nullptr;
SysLock g_lock;  // guards caches shared by the gadget kinds

constexpr int32_t GADGET_TABLE_GROWTH = 50;
constexpr int32_t CONTAINER_STACK_ENTRIES = 10;
constexpr LONG_PTR TORN_DOWN_ID = -1;

// The number of a record created under ANY_NUMBER.
int32_t dynamic_number_of(const GadgetRecord* record)
{
    for (DynamicNode* node = g_gadgets->dynamic_list; node; node = node->next)
        if (node->record == reinterpret_cast<const unsigned char*>(record)) return node->number;
    return ANY_NUMBER;
}

LRESULT CALLBACK gadget_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    LONG_PTR identifier = GetWindowLongPtrA(window, GWLP_ID);
    GadgetRecord* record = identifier == TORN_DOWN_ID ? nullptr : find_gadget(static_cast<int32_t>(identifier));
    if (!record || record->window != window) return DefWindowProcA(window, message, wparam, lparam);

    const auto number = static_cast<int32_t>(identifier);
    const GadgetKind* kind = record->kind;
    LRESULT result = CallWindowProcA(record->previous_procedure, window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        if (kind && kind->release) kind->release(record);
        RemovePropA(window, GADGET_ID_PROPERTY);
        release_window_drop(window);
        SetWindowLongPtrA(window, GWLP_ID, TORN_DOWN_ID);
        // Events of a gadget that is gone never reach the application.
        remove_events(EVENT_GADGET, number, -1, -1);
        release_object(g_gadgets, number);
    }
    return result;
}


// What a window that has been a gadget list keeps while another list is
// current: the library's list state at the time it was left.
struct GadgetListState {
    HWND window;
    HWND saved_current_list;
    HWND* saved_stack;
    int32_t saved_depth;
    int32_t saved_capacity;
    WNDPROC previous_procedure;
};

// "VX_GadgetStack_" followed by the program's instance handle in decimal.
void format_list_property(char (&name)[64])
{
    const auto instance = reinterpret_cast<intptr_t>(GetModuleHandleA(nullptr));
    std::snprintf(name, sizeof(name), "VX_GadgetStack_%lld", static_cast<long long>(instance));
}

GadgetListState* list_state_of(HWND window)
{
    char name[64];
    format_list_property(name);
    return static_cast<GadgetListState*>(GetPropA(window, name));
}

LRESULT CALLBACK list_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    GadgetListState* state = list_state_of(window);
    WNDPROC previous = state ? state->previous_procedure : nullptr;
    if (message == WM_NCDESTROY && state) {
        // A list that is gone must not receive further gadgets.
        if (g_library && g_library->current_list == window) {
            g_library->current_list = nullptr;
            g_library->container_depth = 0;
        }
        main_free(state->saved_stack);
        main_free(state);
        char name[64];
        format_list_property(name);
        RemovePropA(window, name);
    }
    return previous ? CallWindowProcA(previous, window, message, wparam, lparam)
                    : DefWindowProcA(window, message, wparam, lparam);
}

GadgetRecord* record_of(int32_t number)
{
    return static_cast<GadgetRecord*>(find_object(g_gadgets, number));
}

// The control must carry its gadget number both as identifier and as "VX_ID",
// so foreign controls never reach a gadget that merely shares a number.
LRESULT route_control_message(HWND parent, HWND control, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (!control || !IsWindow(control)) return NOT_HANDLED;
    LONG_PTR identifier = GetWindowLongPtrA(control, GWLP_ID);
    if (reinterpret_cast<intptr_t>(GetPropA(control, GADGET_ID_PROPERTY)) != identifier) return NOT_HANDLED;
    if (identifier != static_cast<int32_t>(identifier)) return NOT_HANDLED;
    GadgetRecord* gadget = record_of(static_cast<int32_t>(identifier));
    if (!gadget || !gadget->kind || !gadget->kind->parent_message) return NOT_HANDLED;
    return gadget->kind->parent_message(gadget, parent, message, wparam, lparam);
}

}  // namespace

void init_gadgets()
{
    if (g_gadgets) return;
    sys_lock_init(&g_lock);
    g_gadgets = create_object_table(sizeof(GadgetRecord), GADGET_TABLE_GROWTH, free_gadget);
    g_library = static_cast<GadgetLibrary*>(create_library_state(sizeof(GadgetLibrary), nullptr, nullptr));
    if (g_library) {
        g_library->font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        g_library->container_stack =
            static_cast<HWND*>(main_alloc(sizeof(HWND) * CONTAINER_STACK_ENTRIES));
        if (g_library->container_stack) g_library->container_capacity = CONTAINER_STACK_ENTRIES;
    }
    init_common_controls();
    set_gadget_hooks(GadgetHooks{route_control_message, use_gadget_list});
}

// Gadgets end with their windows.
void end_gadgets() {}

void lock_gadget_library() { sys_lock_enter(&g_lock); }
void unlock_gadget_library() { sys_lock_leave(&g_lock); }

ObjectTable* gadget_table() { return g_gadgets; }

GadgetRecord* find_gadget(int32_t number) { return record_of(number); }

HWND create_gadget_window(DWORD extended_style, const char* class_name, const char* text, DWORD style,
                          int32_t x, int32_t y, int32_t width, int32_t height)
{
    return CreateWindowExA(extended_style, class_name, text ? text : "", style | WS_CHILD | WS_VISIBLE, x, y,
                           width, height, use_gadget_list(nullptr),
                           reinterpret_cast<HMENU>(TORN_DOWN_ID), GetModuleHandleA(nullptr), nullptr);
}

intptr_t register_gadget(int32_t number, GadgetRecord* record, HWND window, const GadgetKind* kind)
{
    if (!g_gadgets || !record || !window) return 0;
    const bool dynamic = number == ANY_NUMBER;
    if (dynamic) number = dynamic_number_of(record);
    if (number == ANY_NUMBER) return 0;
    record->window = window;
    record->kind = kind;
    record->previous_procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gadget_procedure)));
    SetWindowLongPtrA(window, GWLP_ID, number);
    SetPropA(window, GADGET_ID_PROPERTY, reinterpret_cast<HANDLE>(static_cast<intptr_t>(number)));
    if (g_library) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(g_library->font), TRUE);
    return dynamic ? number : reinterpret_cast<intptr_t>(window);
}

void free_gadget(int32_t number)
{
    if (GadgetRecord* record = record_of(number)) DestroyWindow(record->window);
}

void enable_gadget_drop(int32_t gadget, int32_t format, int32_t actions)
{
    GadgetRecord* record = record_of(gadget);
    if (!record || !record->window) return;
    int32_t kind = record->kind ? record->kind->kind_number : 0;
    // Kind 0 marks a window target; a gadget must never post as one.
    enable_control_drop(record->window, kind ? kind : -1, gadget, format, actions);
}

HWND gadget_handle(int32_t number)
{
    GadgetRecord* record = record_of(number);
    return record ? record->window : nullptr;
}

void set_gadget_state(int32_t number, int32_t value)
{
    GadgetRecord* record = record_of(number);
    if (record && record->kind && record->kind->set_state) record->kind->set_state(record, value);
}

int32_t get_gadget_state(int32_t number)
{
    GadgetRecord* record = record_of(number);
    if (!record || !record->kind || !record->kind->get_state) return 0;
    return record->kind->get_state(record);
}

void set_gadget_text(int32_t number, const char* text)
{
    GadgetRecord* record = record_of(number);
    if (!record) return;
    if (!text) text = "";
    if (record->kind && record->kind->set_text)
        record->kind->set_text(record, text);
    else
        SetWindowTextA(record->window, text);
}

void get_gadget_text(int32_t number, int32_t position)
{
    GadgetRecord* record = record_of(number);
    if (record && record->kind && record->kind->get_text) {
        record->kind->get_text(record, position);
        return;
    }
    // A missing gadget leaves the empty text at the position.
    set_string_position(position);
    if (!record) return;
    const int length = GetWindowTextLengthA(record->window);
    char* text = length > 0 ? reserve_string_space(length, position) : nullptr;
    if (!text) {
        set_string_position(position);
        return;
    }
    // The stack keeps spare bytes past any reservation, room for the terminator.
    const int copied = GetWindowTextA(record->window, text, length + 1);
    set_string_position(position + (copied > 0 ? copied : 0));
}

void set_gadget_attribute(int32_t number, int32_t attribute, int32_t value)
{
    GadgetRecord* record = record_of(number);
    if (record && record->kind && record->kind->set_attribute) record->kind->set_attribute(record, attribute, value);
}

int32_t get_gadget_attribute(int32_t number, int32_t attribute)
{
    GadgetRecord* record = record_of(number);
    if (!record || !record->kind || !record->kind->get_attribute) return 0;
    return record->kind->get_attribute(record, attribute);
}

void set_gadget_color(int32_t number, int32_t colour_kind, int32_t colour)
{
    GadgetRecord* record = record_of(number);
    if (record && record->kind && record->kind->set_color) record->kind->set_color(record, colour_kind, colour);
}

int32_t get_gadget_color(int32_t number, int32_t colour_kind)
{
    GadgetRecord* record = record_of(number);
    if (!record || !record->kind || !record->kind->get_color) return -1;
    return record->kind->get_color(record, colour_kind);
}

void hide_gadget(int32_t number, int32_t flag)
{
    GadgetRecord* record = record_of(number);
    if (!record) return;
    if (record->kind && record->kind->hide)
        record->kind->hide(record, flag);
    else
        ShowWindow(record->window, flag ? SW_HIDE : SW_SHOW);
}

void activate_gadget(int32_t number)
{
    GadgetRecord* record = record_of(number);
    if (!record) return;
    if (record->kind && record->kind->activate)
        record->kind->activate(record);
    else
        SetFocus(record->window);
}

void resize_gadget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height)
{
    GadgetRecord* record = record_of(number);
    if (!record) return;
    if (record->kind && record->kind->resize)
        record->kind->resize(record, x, y, width, height);
    else
        resize_gadget(record, x, y, width, height);
}

void resize_gadget(GadgetRecord* gadget, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!gadget || !gadget->window) return;
    const GadgetKind* kind = gadget->kind;
    if (x == KEEP_VALUE || y == KEEP_VALUE || width == KEEP_VALUE || height == KEEP_VALUE) {
        RECT area{};
        GetWindowRect(gadget->window, &area);
        MapWindowPoints(nullptr, GetParent(gadget->window), reinterpret_cast<POINT*>(&area), 2);
        if (x == KEEP_VALUE) x = kind && kind->get_x ? kind->get_x(gadget) : area.left;
        if (y == KEEP_VALUE) y = kind && kind->get_y ? kind->get_y(gadget) : area.top;
        if (width == KEEP_VALUE) width = kind && kind->get_width ? kind->get_width(gadget) : area.right - area.left;
        if (height == KEEP_VALUE)
            height = kind && kind->get_height ? kind->get_height(gadget) : area.bottom - area.top;
    }
    MoveWindow(gadget->window, x, y, width, height, TRUE);
    const int32_t number = kind ? kind->kind_number : 0;
    if (number == GADGET_KIND_BUTTON)
        RedrawWindow(gadget->window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT);
    else if (number == GADGET_KIND_TEXT)
        InvalidateRect(gadget->window, nullptr, FALSE);
}

HWND gadget_top_window(HWND window)
{
    HWND top = window;
    for (HWND at = window; at; at = GetParent(at)) {
        if (GetPropA(at, WINDOW_ID_PROPERTY)) return at;
        top = at;
    }
    return top;
}

int32_t gadget_window_number(HWND window)
{
    HWND top = gadget_top_window(window);
    return top ? static_cast<int32_t>(reinterpret_cast<intptr_t>(GetPropA(top, WINDOW_ID_PROPERTY))) - 1 : -1;
}

void post_gadget_event(HWND window, int32_t type)
{
    const auto number = static_cast<int32_t>(GetWindowLongPtrA(window, GWLP_ID));
    post_event(EVENT_GADGET, number, gadget_window_number(window), type);
}

HWND use_gadget_list(HWND window)
{
    GadgetLibrary* library = g_library;
    if (!library) return nullptr;
    HWND previous = library->container_depth > 0 && library->container_stack
                        ? library->container_stack[library->container_depth - 1]
                        : library->current_list;
    if (!window) return previous;

    if (previous) {
        if (GadgetListState* saved = list_state_of(previous)) {
            saved->saved_current_list = library->current_list;
            saved->saved_stack = library->container_stack;
            saved->saved_depth = library->container_depth;
            saved->saved_capacity = library->container_capacity;
            library->container_stack = nullptr;
        }
    }

    if (GadgetListState* state = list_state_of(window)) {
        main_free(library->container_stack);
        library->current_list = state->saved_current_list;
        library->container_stack = state->saved_stack;
        library->container_depth = state->saved_depth;
        library->container_capacity = state->saved_capacity;
        state->saved_stack = nullptr;
        return previous;
    }

    library->container_depth = 0;
    if (!library->container_stack) {
        library->container_stack = static_cast<HWND*>(main_alloc(sizeof(HWND) * CONTAINER_STACK_ENTRIES));
        library->container_capacity = library->container_stack ? CONTAINER_STACK_ENTRIES : 0;
    }
    library->current_list = window;
    auto* state = static_cast<GadgetListState*>(main_alloc(sizeof(GadgetListState)));
    if (state) {
        char name[64];
        format_list_property(name);
        state->window = window;
        if (SetPropA(window, name, state)) {
            state->previous_procedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list_procedure)));
        } else {
            main_free(state);
        }
    }
    return previous;
}
