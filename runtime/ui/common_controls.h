// common_controls.h: the common control classes the runtime registers before
// it makes its first control or dialog.
#pragma once

#include <windows.h>
#include <commctrl.h>

// The classes beyond the standard ones that the gadgets and requesters rely on.
constexpr DWORD COMMON_CONTROL_CLASSES =
    ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;

inline void init_common_controls()
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), COMMON_CONTROL_CLASSES};
    InitCommonControlsEx(&controls);
}
