// requesters.h: the modal dialogs of the runtime.
//
// A message box, a one-line text entry dialog of our own ("InputRequester")
// and the system's Open and Save dialogs. Each call returns only when the user
// has answered; meanwhile the program's other windows are disabled. Operations
// that return text write it on the string stack at `position`.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <cstdint>

// Common controls and COM for the system dialogs; called once at start-up.
void init_requesters();

// The native message box result (1 for OK, 6 for Yes, 7 for No), 0 when no
// box could be shown. `flags` are MessageBoxA type bits.
int32_t message_requester(const char* title, const char* text, int32_t flags);
int32_t message_requester_ok(const char* title, const char* text);

// The text typed, or "" when the dialog was cancelled.
void input_requester(const char* title, const char* message, const char* default_text, int32_t position);

// `pattern` is pairs of a description and a pattern list separated by "|",
// such as "JPEG Images|*.jpg|All Files|*.*"; `pattern_position` counts pairs
// from 0. The chosen path, or "" when the dialog was cancelled.
void open_file_requester(const char* title, const char* default_file, const char* pattern,
                         int32_t pattern_position, int32_t position);
void save_file_requester(const char* title, const char* default_file, const char* pattern,
                         int32_t pattern_position, int32_t position);
// The 0-based pattern chosen in the last file requester; -1 after a cancel.
int32_t selected_pattern();

// What the Open and Save dialogs are given. Under Wine a hook guards the
// dialog against names that would make a path of MAX_PATH characters or more
// ("This path is too long."), which Wine's dialog would copy into a MAX_PATH
// buffer unchecked; elsewhere the dialog runs without a hook.
struct FileDialogSetup {
    DWORD flags;          // OPENFILENAMEA flags
    LPOFNHOOKPROC hook;   // null without a hook
};
FileDialogSetup file_dialog_setup(bool under_wine);
// True when the program runs under Wine (ntdll.dll exports wine_get_version);
// asked once, then remembered.
bool running_under_wine();

// The foreground window when it belongs to this process, else null.
HWND requester_owner();
// Disable the thread's other visible top-level windows (lowering top-most
// ones) and undo that again; every requester is bracketed by the two.
void disable_other_windows();
void restore_other_windows();
