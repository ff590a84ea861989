// requesters.cpp: message boxes, the input requester and the file dialogs.
#include "requesters.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>

#include <cstring>

#include "common_controls.h"
#include "files.h"
#include "heap.h"
#include "strings.h"

namespace {

// One window that disable_other_windows disabled.
struct DisabledWindow {
    DisabledWindow* next;
    uint32_t thread;
    HWND window;
    int32_t was_topmost;
};

DisabledWindow* g_disabled = nullptr;

struct InputRequesterState {
    const char* class_name;
    HFONT font;
    HWND prompt;
    HWND field;
    HWND button;
    HWND owner;
    bool owner_disabled;
    bool done;
    HWND dialog;
    char* stored_text;  // main heap; set when the user confirmed
};

InputRequesterState g_input{"InputRequester", nullptr, nullptr, nullptr, nullptr, nullptr, false, false, nullptr, nullptr};

struct FileRequesterState {
    char* file_name;           // main heap, FILE_NAME_SIZE bytes
    int32_t selected_pattern;  // the dialog's filter index; 0 until a requester succeeds
};

FileRequesterState g_file{nullptr, 0};

constexpr DWORD INPUT_DIALOG_STYLE = WS_VISIBLE | WS_CAPTION;
constexpr int32_t INPUT_DIALOG_WIDTH = 300;
constexpr int32_t INPUT_DIALOG_HEIGHT = 130;
constexpr int INPUT_FIELD_ID = 10;
constexpr WORD INPUT_CONFIRM_COMMAND = 1000;
constexpr WORD INPUT_CANCEL_COMMAND = 1001;

// The dialog's children; the dialog itself is placed in input_requester.
struct ChildLayout {
    const char* class_name;
    DWORD style;
    DWORD extended_style;
    int x, y, width, height;
    int id;
};
const ChildLayout PROMPT_LAYOUT{"STATIC", WS_CHILD | WS_VISIBLE | SS_SIMPLE, 0, 10, 10, 280, 22, 0};
const ChildLayout FIELD_LAYOUT{"EDIT", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                               10, 32, 275, 21, INPUT_FIELD_ID};
const ChildLayout BUTTON_LAYOUT{"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
                                110, 67, 80, 25, INPUT_CONFIRM_COMMAND};

ACCEL INPUT_ACCELERATORS[] = {
    {FVIRTKEY, VK_RETURN, INPUT_CONFIRM_COMMAND},
    {FVIRTKEY, VK_ESCAPE, INPUT_CANCEL_COMMAND},
};

constexpr int32_t FILE_NAME_SIZE = MAX_PATH;
constexpr DWORD FILE_REQUESTER_FLAGS = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER;

// Writes `length` bytes of `text` as a result at `position`.
void write_result(const char* text, size_t length, int32_t position)
{
    if (length > INT32_MAX - 1) length = 0;
    char* out = reserve_string_space(static_cast<int32_t>(length), position);
    if (!out) {
        set_string_position(position);
        return;
    }
    if (length) std::memcpy(out, text, length);
    set_string_position(position + static_cast<int32_t>(length));
}

// A heap copy of a text; null stays null. `failed` is set when memory ran out.
char* copy_text(const char* text, bool* failed)
{
    if (!text) return nullptr;
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(main_alloc(length + 1));
    if (!copy) {
        *failed = true;
        return nullptr;
    }
    std::memcpy(copy, text, length + 1);
    return copy;
}

BOOL CALLBACK disable_window_of_thread(HWND window, LPARAM foreground)
{
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return TRUE;
    if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    if (window == reinterpret_cast<HWND>(foreground)) return TRUE;
    // Without an entry the window could never be enabled again: leave it.
    auto* entry = static_cast<DisabledWindow*>(main_alloc(sizeof(DisabledWindow)));
    if (!entry) return TRUE;
    entry->thread = GetCurrentThreadId();
    entry->window = window;
    if (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
        // A top-most window would otherwise cover the requester. Lowering it
        // must not activate it, or it would become the requester's owner.
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        entry->was_topmost = 1;
    }
    EnableWindow(window, FALSE);
    entry->next = g_disabled;
    g_disabled = entry;
    return TRUE;
}

// The common end of the input requester: the owner and the other windows must
// be usable again before the dialog goes, or the activation would land nowhere.
void close_input_dialog(HWND dialog)
{
    if (g_input.owner_disabled) {
        EnableWindow(g_input.owner, TRUE);
        g_input.owner_disabled = false;
    }
    restore_other_windows();
    DestroyWindow(dialog);
}

LRESULT CALLBACK input_requester_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_COMMAND: {
        WORD command = LOWORD(wparam);
        if (command == INPUT_CONFIRM_COMMAND) {
            int length = GetWindowTextLengthA(g_input.field);
            if (length < 0) length = 0;
            auto* text = static_cast<char*>(main_alloc(static_cast<size_t>(length) + 1));
            if (text) GetWindowTextA(g_input.field, text, length + 1);
            main_free(g_input.stored_text);
            g_input.stored_text = text;
            close_input_dialog(dialog);
        } else if (command == INPUT_CANCEL_COMMAND) {
            close_input_dialog(dialog);
        }
        return 0;
    }
    case WM_CLOSE:
        close_input_dialog(dialog);
        return 0;
    case WM_DESTROY:
        g_input.done = true;
        g_input.dialog = nullptr;
        return 0;
    default:
        return DefWindowProcA(dialog, message, wparam, lparam);
    }
}

HWND create_child(HWND dialog, const ChildLayout& layout, const char* text)
{
    HWND child = CreateWindowExA(layout.extended_style, layout.class_name, text ? text : "", layout.style,
                                 layout.x, layout.y, layout.width, layout.height, dialog,
                                 reinterpret_cast<HMENU>(static_cast<intptr_t>(layout.id)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (child) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_input.font), 1);
    return child;
}

// Runs the dialog to its end and returns the stored text (main heap) or null.
char* run_input_dialog(const char* title, const char* message, const char* default_text)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!g_input.font) g_input.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = input_requester_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = g_input.class_name;
    RegisterClassExA(&window_class);
    g_input.done = false;
    main_free(g_input.stored_text);
    g_input.stored_text = nullptr;

    disable_other_windows();
    g_input.owner = requester_owner();
    g_input.owner_disabled = false;
    if (g_input.owner && IsWindowEnabled(g_input.owner)) {
        EnableWindow(g_input.owner, FALSE);
        g_input.owner_disabled = true;
    }

    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - INPUT_DIALOG_WIDTH / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - INPUT_DIALOG_HEIGHT / 2;
    HWND dialog = CreateWindowExA(0, g_input.class_name, title ? title : "", INPUT_DIALOG_STYLE, x, y,
                                  INPUT_DIALOG_WIDTH, INPUT_DIALOG_HEIGHT, g_input.owner, nullptr, instance,
                                  nullptr);
    if (!dialog) {
        if (g_input.owner_disabled) EnableWindow(g_input.owner, TRUE);
        g_input.owner_disabled = false;
        restore_other_windows();
        UnregisterClassA(g_input.class_name, instance);
        return nullptr;
    }
    g_input.dialog = dialog;
    g_input.prompt = create_child(dialog, PROMPT_LAYOUT, message);
    g_input.field = create_child(dialog, FIELD_LAYOUT, nullptr);
    g_input.button = create_child(dialog, BUTTON_LAYOUT, "OK");
    SetFocus(g_input.field);
    if (default_text) {
        SendMessageA(g_input.field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(default_text));
        LPARAM end = static_cast<LPARAM>(std::strlen(default_text));
        SendMessageA(g_input.field, EM_SETSEL, static_cast<WPARAM>(end), end);
    }

    HACCEL table = CreateAcceleratorTableA(INPUT_ACCELERATORS, 2);
    SetForegroundWindow(dialog);
    BringWindowToTop(dialog);

    // Every window of the thread keeps receiving its messages here; the
    // application's windows are disabled and their events wait in the queue.
    bool quit = false;
    int quit_code = 0;
    while (!g_input.done) {
        MSG native{};
        BOOL got = GetMessageA(&native, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = got == 0;
            quit_code = static_cast<int>(native.wParam);
            break;
        }
        if (!table || !TranslateAcceleratorA(dialog, table, &native)) {
            TranslateMessage(&native);
            DispatchMessageA(&native);
        }
    }
    if (table) DestroyAcceleratorTable(table);
    // Leaving the loop early (WM_QUIT) must not leave the program disabled
    // under an orphaned dialog; the quit request goes on to the outer loop.
    if (g_input.dialog) close_input_dialog(g_input.dialog);
    if (quit) PostQuitMessage(quit_code);
    // A class cannot go while a window of it exists, so not before here.
    UnregisterClassA(g_input.class_name, instance);

    char* text = g_input.stored_text;
    g_input.stored_text = nullptr;
    return text;
}

// Names that would make a path of MAX_PATH characters or more are refused
// before the dialog itself joins them to its folder: some versions of the
// dialog (Wine's) build that path in a MAX_PATH buffer without checking it.
constexpr char NAME_GUARD_PROPERTY[] = "VX_NameGuard";
// The dialog's file name box: cmb13, or edt1 in layouts that have no combo box.
constexpr int FILE_NAME_BOX = 0x47C;
constexpr int FILE_NAME_EDIT = 0x480;

bool name_too_long(HWND dialog)
{
    HWND field = GetDlgItem(dialog, FILE_NAME_BOX);
    if (!field) field = GetDlgItem(dialog, FILE_NAME_EDIT);
    if (!field) return false;
    const int length = GetWindowTextLengthA(field);
    if (length >= MAX_PATH) return true;
    char name[MAX_PATH] = {};
    GetWindowTextA(field, name, MAX_PATH);
    const bool absolute = name[0] == '\\' || (name[0] && name[1] == ':');
    if (absolute) return false;
    // The folder's length, without a terminating zero, and the separator.
    const LRESULT folder = SendMessageA(dialog, CDM_GETFOLDERPATH, 0, 0);
    return folder > 0 && folder - 1 + 1 + length >= MAX_PATH;
}

LRESULT CALLBACK guarded_dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(dialog, NAME_GUARD_PROPERTY));
    if (!previous) return DefDlgProcA(dialog, message, wparam, lparam);
    if (message == WM_COMMAND && LOWORD(wparam) == IDOK && name_too_long(dialog)) {
        char title[128] = {};
        GetWindowTextA(dialog, title, sizeof(title));
        MessageBoxA(dialog, "This path is too long.", title, MB_OK | MB_ICONWARNING);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(dialog, NAME_GUARD_PROPERTY);
    }
    return CallWindowProcA(previous, dialog, message, wparam, lparam);
}

// The hook's own (empty) child dialog comes first; its parent is the dialog.
UINT_PTR CALLBACK file_dialog_hook(HWND child, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return 0;
    HWND dialog = GetParent(child);
    if (!dialog || GetPropA(dialog, NAME_GUARD_PROPERTY)) return 0;
    SetPropA(dialog, NAME_GUARD_PROPERTY, reinterpret_cast<HANDLE>(GetWindowLongPtrA(dialog, GWLP_WNDPROC)));
    SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(guarded_dialog_procedure));
    return 0;
}

void file_requester(bool save, const char* title, const char* default_file, const char* pattern,
                    int32_t pattern_position, int32_t position)
{
    g_file.selected_pattern = 0;
    main_free(g_file.file_name);
    g_file.file_name = static_cast<char*>(main_alloc(FILE_NAME_SIZE));

    // The system wants zero-terminated strings ended by an empty one.
    size_t pattern_length = pattern ? std::strlen(pattern) : 0;
    auto* filter = static_cast<char*>(main_alloc(pattern_length + 3));
    char* directory = nullptr;
    bool failed = !g_file.file_name || !filter;
    if (default_file && !failed) directory = copy_text(default_file, &failed);
    if (failed) {
        main_free(filter);
        main_free(directory);
        write_result(nullptr, 0, position);
        return;
    }
    for (size_t i = 0; i < pattern_length; ++i) filter[i] = pattern[i] == '|' ? '\0' : pattern[i];

    if (directory) {
        char* separator = std::strrchr(directory, '\\');
        if (separator && separator > directory) {
            std::strncpy(g_file.file_name, separator + 1, FILE_NAME_SIZE - 1);
            // "C:" alone names the drive's current folder, not its root.
            const bool drive_root = separator == directory + 2 && directory[1] == ':';
            separator[drive_root ? 1 : 0] = '\0';
        } else {
            std::strncpy(g_file.file_name, directory, FILE_NAME_SIZE - 1);
            directory[0] = '\0';
        }
        if (!is_valid_file_name(g_file.file_name)) g_file.file_name[0] = '\0';
    }

    OPENFILENAMEA request{};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = requester_owner();
    request.lpstrFilter = filter;
    request.nFilterIndex = static_cast<DWORD>(pattern_position + 1);
    request.lpstrFile = g_file.file_name;
    request.nMaxFile = FILE_NAME_SIZE;
    request.lpstrInitialDir = directory;
    request.lpstrTitle = title;
    const FileDialogSetup setup = file_dialog_setup(running_under_wine());
    request.Flags = setup.flags;
    request.lpfnHook = setup.hook;

    disable_other_windows();
    BOOL chosen = save ? GetSaveFileNameA(&request) : GetOpenFileNameA(&request);
    restore_other_windows();
    main_free(filter);
    main_free(directory);

    if (!chosen) {
        write_result(nullptr, 0, position);
        return;
    }
    g_file.selected_pattern = static_cast<int32_t>(request.nFilterIndex);
    write_result(g_file.file_name, strnlen(g_file.file_name, FILE_NAME_SIZE), position);
}

}  // namespace

FileDialogSetup file_dialog_setup(bool under_wine)
{
    // Only Wine's dialog needs the name guard. Elsewhere a hook would cost
    // the user the dialog of the present system version: with one, Windows
    // shows its older dialog instead. With a hook the dialog keeps its
    // resizable frame only when asked to.
    if (under_wine) return {FILE_REQUESTER_FLAGS | OFN_ENABLEHOOK | OFN_ENABLESIZING, file_dialog_hook};
    return {FILE_REQUESTER_FLAGS, nullptr};
}

bool running_under_wine()
{
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

void init_requesters()
{
    init_common_controls();
    CoInitialize(nullptr);
}

HWND requester_owner()
{
    HWND foreground = GetForegroundWindow();
    if (!foreground) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

void disable_other_windows()
{
    EnumWindows(disable_window_of_thread, reinterpret_cast<LPARAM>(GetForegroundWindow()));
}

void restore_other_windows()
{
    const uint32_t thread = GetCurrentThreadId();
    DisabledWindow** link = &g_disabled;
    while (DisabledWindow* entry = *link) {
        if (entry->thread != thread) {
            link = &entry->next;
            continue;
        }
        EnableWindow(entry->window, TRUE);
        if (entry->was_topmost)
            SetWindowPos(entry->window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        *link = entry->next;
        main_free(entry);
    }
}

int32_t message_requester(const char* title, const char* text, int32_t flags)
{
    disable_other_windows();
    int32_t result = MessageBoxA(requester_owner(), text, title, static_cast<UINT>(flags));
    restore_other_windows();
    return result;
}

int32_t message_requester_ok(const char* title, const char* text) { return message_requester(title, text, 0); }

void input_requester(const char* title, const char* message, const char* default_text, int32_t position)
{
    // The texts may live on the string stack, which can move while the
    // dialog's loop runs: work on copies.
    bool failed = false;
    char* title_copy = copy_text(title, &failed);
    char* message_copy = copy_text(message, &failed);
    char* default_copy = copy_text(default_text, &failed);
    char* text = failed ? nullptr : run_input_dialog(title_copy, message_copy, default_copy);
    main_free(title_copy);
    main_free(message_copy);
    main_free(default_copy);
    write_result(text, text ? std::strlen(text) : 0, position);
    main_free(text);
}

void open_file_requester(const char* title, const char* default_file, const char* pattern,
                         int32_t pattern_position, int32_t position)
{
    file_requester(false, title, default_file, pattern, pattern_position, position);
}

void save_file_requester(const char* title, const char* default_file, const char* pattern,
                         int32_t pattern_position, int32_t position)
{
    file_requester(true, title, default_file, pattern, pattern_position, position);
}

int32_t selected_pattern() { return g_file.selected_pattern - 1; }
