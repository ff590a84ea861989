// window_procedure.cpp: native messages become events here.
#include "window_procedure.h"

#include <cstring>

#include "drop.h"
#include "events.h"
#include "window.h"

namespace {

constexpr const char* FOCUS_PROPERTY = "VX_Focus";
constexpr const char* HOTKEY_PROPERTY = "VX_Hotkey";

// A control message that gadget kinds send to their parent window.
constexpr UINT GADGET_PARENT_MESSAGE = 13120;
// A control with this identifier reports menu events instead of gadget events.
constexpr int32_t MENU_CONTROL_ID = -10000;

// Rich edit controls take Tab themselves unless they are read-only.
constexpr UINT RICH_EDIT_GET_OPTIONS = 0x44E;
constexpr LRESULT RICH_EDIT_READ_ONLY = 0x800;

// The window number of a message: the nearest window on the way up that
// carries the number property, or -1. `carrier` receives that window.
int32_t find_window_number(HWND window, HWND* carrier)
{
    for (HWND step = window; step; step = GetParent(step)) {
        auto value = reinterpret_cast<intptr_t>(GetPropA(step, WINDOW_ID_PROPERTY));
        if (value) {
            *carrier = step;
            return static_cast<int32_t>(value - 1);
        }
    }
    *carrier = nullptr;
    return -1;
}

// Hands a control's message to the gadget library, which finds the gadget
// that owns the control; without that library nothing is routed.
LRESULT route_to_gadget(HWND parent, HWND control, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto route = gadget_hooks().route_control_message;
    return route ? route(parent, control, message, wparam, lparam) : NOT_HANDLED;
}

// WM_NOTIFY and WM_GETMINMAXINFO point at a structure in the caller's memory.
// The genuine ones are sent within this thread, by its controls and by the
// system; any other process can post or send these numbers with any value.
bool carries_caller_pointer(UINT message) { return message == WM_NOTIFY || message == WM_GETMINMAXINFO; }

// One sent from another thread or process is refused in the window procedure
// (InSendMessageEx names the message being handled, so a message that this
// thread sends while handling a foreign one counts as foreign too). A posted
// one is made harmless as it leaves the queue, whichever loop takes it (ours,
// a dialog's, a menu's): it becomes WM_NULL before anything dispatches it.
bool sent_within_thread() { return InSendMessageEx(nullptr) == ISMEX_NOSEND; }

HHOOK g_message_guard = nullptr;

LRESULT CALLBACK guard_queued_message(int code, WPARAM removal, LPARAM lparam)
{
    if (code == HC_ACTION && lparam) {
        auto* message = reinterpret_cast<MSG*>(lparam);
        if (carries_caller_pointer(message->message)) {
            message->message = WM_NULL;
            message->wParam = 0;
            message->lParam = 0;
        }
    }
    return CallNextHookEx(g_message_guard, code, removal, lparam);
}

void set_direct_event(EventState* state, int32_t code, int32_t object, int32_t type)
{
    state->pending_code = code;
    state->pending_object = object;
    state->pending_type = type;
}

BOOL CALLBACK send_colour_change(HWND child, LPARAM)
{
    SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

LRESULT handle_size(WindowRecord* record, int32_t number, WPARAM kind)
{
    switch (kind) {
    case SIZE_MINIMIZED:
        record->minimised_or_maximised = 1;
        post_event(EVENT_MINIMIZE, 0, number, 0);
        break;
    case SIZE_MAXIMIZED:
        record->minimised_or_maximised = 1;
        post_event(EVENT_MAXIMIZE, 0, number, 0);
        post_event(EVENT_SIZE, 0, number, 0);
        break;
    case SIZE_RESTORED:
        if (record->minimised_or_maximised == 1) {
            record->minimised_or_maximised = 0;
            post_event(EVENT_RESTORE, 0, number, 0);
        }
        post_event(EVENT_SIZE, 0, number, 0);
        break;
    default:
        post_event(EVENT_SIZE, 0, number, 0);
        break;
    }
    return 0;
}

LRESULT handle_command(EventState* state, HWND window, WPARAM wparam, LPARAM lparam)
{
    auto control = reinterpret_cast<HWND>(lparam);
    if (route_to_gadget(window, control, WM_COMMAND, wparam, lparam) != NOT_HANDLED) return 0;
    const int32_t command = LOWORD(wparam);
    const int32_t notification = HIWORD(wparam);
    if (control) {
        auto identifier = static_cast<int32_t>(GetWindowLongPtrA(control, GWLP_ID));
        if (identifier == MENU_CONTROL_ID)
            set_direct_event(state, EVENT_MENU, command, -1);
        else
            set_direct_event(state, EVENT_GADGET, identifier, notification);
    } else if (notification == 0) {
        set_direct_event(state, EVENT_MENU, command, -1);
    } else if (command == FOCUS_NEXT_COMMAND) {
        move_focus(true);
    } else if (command == FOCUS_PREVIOUS_COMMAND) {
        move_focus(false);
    } else {
        set_direct_event(state, EVENT_MENU, command, -1);
    }
    return 0;
}

int32_t tray_event_type(LPARAM lparam)
{
    switch (static_cast<UINT>(lparam)) {
    case WM_LBUTTONDOWN: return 0;
    case WM_RBUTTONDOWN: return 1;
    case WM_LBUTTONDBLCLK: return 2;
    case WM_RBUTTONDBLCLK: return 3;
    default: return -1;
    }
}

// The result NOT_HANDLED asks for the system's default processing.
LRESULT handle_message(EventState* state, WindowRecord* record, int32_t number, HWND carrier, HWND window,
                       UINT message, WPARAM wparam, LPARAM lparam)
{
    const bool own_window = record && record->handle == window;
    switch (message) {
    case WM_MOVE:
    case WM_CLOSE:
        // The close box only reports: the application decides.
        if (own_window) post_event(static_cast<int32_t>(message), number, number, 0);
        return 0;
    case WM_SIZE:
        if (window != carrier) return 1;
        return record ? handle_size(record, number, wparam) : 0;
    case WM_ACTIVATE:
        if (LOWORD(wparam)) {
            auto focus = static_cast<HWND>(GetPropA(window, FOCUS_PROPERTY));
            if (focus && IsChild(window, focus)) SetFocus(focus);
            post_event(EVENT_ACTIVATE, 0, number, 0);
        } else {
            SetPropA(window, FOCUS_PROPERTY, GetFocus());
        }
        // Not passed on: the focus is restored above, not moved to the frame.
        return 1;
    case WM_ERASEBKGND:
        post_event(EVENT_REPAINT, 0, number, 0);
        if (record && record->background_brush) {
            RECT area;
            GetClientRect(window, &area);
            FillRect(reinterpret_cast<HDC>(wparam), &area, record->background_brush);
            return 1;
        }
        if (own_window && record->background_painter)
            return record->background_painter(window, reinterpret_cast<HDC>(wparam));
        return NOT_HANDLED;
    case WM_SYSCOLORCHANGE:
        EnumChildWindows(window, send_colour_change, 0);
        return NOT_HANDLED;
    case WM_GETMINMAXINFO: {
        // The system's default values stay when the structure is not ours.
        if (!sent_within_thread()) return 0;
        if (!record) return NOT_HANDLED;
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        if (record->minimum_width) info->ptMinTrackSize.x = record->minimum_width;
        if (record->minimum_height) info->ptMinTrackSize.y = record->minimum_height;
        if (record->maximum_width) info->ptMaxTrackSize.x = record->maximum_width;
        if (record->maximum_height) info->ptMaxTrackSize.y = record->maximum_height;
        if (!record->minimum_width && (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW))
            info->ptMinTrackSize.x = 1;
        return 0;
    }
    case WM_NOTIFY: {
        if (!sent_within_thread()) return 0;
        auto* header = reinterpret_cast<NMHDR*>(lparam);
        return route_to_gadget(window, header ? header->hwndFrom : nullptr, message, wparam, lparam);
    }
    case WM_COMMAND:
        return handle_command(state, window, wparam, lparam);
    case WM_TIMER:
        if (!record) return NOT_HANDLED;
        set_direct_event(state, EVENT_TIMER, static_cast<int32_t>(wparam), -1);
        return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case GADGET_PARENT_MESSAGE:
        return route_to_gadget(window, reinterpret_cast<HWND>(lparam), message, wparam, lparam);
    case TRAY_MESSAGE: {
        int32_t type = tray_event_type(lparam);
        if (type >= 0) {
            post_event(EVENT_TRAY, static_cast<int32_t>(wparam), number, type);
            // Wakes a wait that sleeps on the native queue.
            PostMessageA(window, WM_NULL, 0, 0);
        }
        return 0;
    }
    case WINDOW_DROP_MESSAGE:
    case GADGET_DROP_MESSAGE: {
        // Only a record that our own drop target posted to this window is
        // taken; any other value is ignored without being read.
        DropRecord* drop = claim_posted_drop(window, message, wparam, lparam);
        if (!drop) return 0;
        // A record not yet taken by a wait (two drops dispatched by one modal
        // loop) would be lost otherwise.
        free_pending_drop_record();
        state->pending_drop_record = drop;
        state->pending_code = message == WINDOW_DROP_MESSAGE ? EVENT_WINDOW_DROP : EVENT_GADGET_DROP;
        if (message == GADGET_DROP_MESSAGE) state->pending_object = static_cast<int32_t>(wparam);
        state->pending_type = -1;
        return 0;
    }
    case WM_NCDESTROY:
        RemovePropA(window, FOCUS_PROPERTY);
        return 1;
    default:
        return NOT_HANDLED;
    }
}

}  // namespace

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    HWND carrier;
    const int32_t number = find_window_number(window, &carrier);
    WindowRecord* record = number >= 0 ? find_window(number) : nullptr;
    EventState* state = event_state();

    MessageCallback callback = record ? record->message_callback : nullptr;
    if (!callback && state) callback = state->global_message_callback;
    if (callback) {
        LRESULT result = callback(window, message, wparam, lparam);
        if (result != MESSAGE_CALLBACK_PASS) return result;
    }
    if (!state) return DefWindowProcA(window, message, wparam, lparam);

    state->pending_window = number;
    LRESULT result = handle_message(state, record, number, carrier, window, message, wparam, lparam);
    // NOT_HANDLED is internal and never reaches the system.
    return result == NOT_HANDLED ? DefWindowProcA(window, message, wparam, lparam) : result;
}

void install_message_guard()
{
    if (!g_message_guard)
        g_message_guard = SetWindowsHookExA(WH_GETMESSAGE, guard_queued_message, nullptr, GetCurrentThreadId());
}

HACCEL choose_accelerator_table()
{
    if (HWND focus = GetFocus()) {
        auto down = [](int key) { return GetKeyState(key) < 0; };
        if (down(VK_TAB) && !down(VK_CONTROL) && !down(VK_SHIFT) && !down(VK_MENU)) {
            char name[5] = {};
            GetClassNameA(focus, name, sizeof(name));
            if (std::strncmp(name, "Rich", 4) == 0 &&
                !(SendMessageA(focus, RICH_EDIT_GET_OPTIONS, 0, 0) & RICH_EDIT_READ_ONLY))
                return nullptr;
        }
        if (GetPropA(focus, HOTKEY_PROPERTY)) return nullptr;
    }
    HWND active = GetActiveWindow();
    auto value = active ? reinterpret_cast<intptr_t>(GetPropA(active, WINDOW_ID_PROPERTY)) : 0;
    if (!value) return nullptr;
    WindowRecord* record = find_window(static_cast<int32_t>(value - 1));
    return record ? record->accelerator_table : nullptr;
}
