// gadget_core.cpp: the gadget table, registration and the common gadget
// procedure through which every gadget notices its own destruction.
#include "gadget.h"

#include <commctrl.h>
#include <ole2.h>

#include "events.h"
#include "heap.h"
#include "platform.h"
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
constexpr DWORD COMMON_CONTROL_CLASSES = 0xB48;
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
        if (RemovePropA(window, DROP_ACCEPT_PROPERTY)) RevokeDragDrop(window);
        SetWindowLongPtrA(window, GWLP_ID, TORN_DOWN_ID);
        // Events of a gadget that is gone never reach the application.
        remove_events(EVENT_GADGET, number, -1, -1);
        release_object(g_gadgets, number);
    }
    return result;
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
        g_library->container_capacity = CONTAINER_STACK_ENTRIES;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), COMMON_CONTROL_CLASSES};
    InitCommonControlsEx(&controls);
}

// Gadgets end with their windows.
void end_gadgets() {}

ObjectTable* gadget_table() { return g_gadgets; }

GadgetRecord* find_gadget(int32_t number)
{
    return static_cast<GadgetRecord*>(find_object(g_gadgets, number));
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
    if (GadgetRecord* record = find_gadget(number)) DestroyWindow(record->window);
}

HWND gadget_handle(int32_t number)
{
    GadgetRecord* record = find_gadget(number);
    return record ? record->window : nullptr;
}

HWND use_gadget_list(HWND window)
{
    if (!g_library) return nullptr;
    HWND previous = g_library->current_list;
    if (window) g_library->current_list = window;
    return previous;
}
