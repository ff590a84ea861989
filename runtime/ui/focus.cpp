// focus.cpp: keyboard focus movement over the tab stops of the active window.
#include <cstring>

#include "window_procedure.h"

namespace {

// One pass over the descendants in enumeration order finds both neighbours
// of the current control and both ends.
struct FocusWalk {
    HWND current;  // the control that has the focus, or null
    bool passed;   // the walk has reached current
    HWND first;
    HWND last;
    HWND before;   // the last tab stop before current
    HWND after;    // the first tab stop after current
};

bool is_tab_stop(HWND window)
{
    return IsWindowEnabled(window) && IsWindowVisible(window) &&
           (GetWindowLongPtrA(window, GWL_STYLE) & WS_TABSTOP);
}

// Controls made of several child windows count as one stop.
bool is_composite(HWND window)
{
    char name[51] = {};
    GetClassNameA(window, name, sizeof(name));
    if (std::strcmp(name, "SysIPAddress32") == 0) return true;
    return std::strcmp(name, "ComboBoxEx32") == 0 && (GetWindowLongPtrA(window, GWL_STYLE) & 0x1);
}

BOOL CALLBACK visit(HWND child, LPARAM parameter)
{
    auto* walk = reinterpret_cast<FocusWalk*>(parameter);
    if (child == walk->current) {
        walk->passed = true;
        return TRUE;
    }
    // The parts of the current composite control are not stops of their own.
    if (!is_tab_stop(child) || (walk->current && IsChild(walk->current, child))) return TRUE;
    if (!walk->first) walk->first = child;
    walk->last = child;
    if (!walk->passed)
        walk->before = child;
    else if (!walk->after)
        walk->after = child;
    return TRUE;
}

}  // namespace

void move_focus(bool forward)
{
    HWND top = GetActiveWindow();
    if (!top) return;
    FocusWalk walk{};
    walk.current = GetFocus();
    if (walk.current && !IsChild(top, walk.current)) walk.current = nullptr;
    for (HWND step = walk.current; step && step != top; step = GetParent(step))
        if (is_composite(step)) walk.current = step;
    EnumChildWindows(top, visit, reinterpret_cast<LPARAM>(&walk));
    // Without a current control every stop lies "before" it: forward starts at
    // the first, backward at the last.
    HWND target = forward ? (walk.after ? walk.after : walk.first) : (walk.before ? walk.before : walk.last);
    if (target) SetFocus(target);
}
