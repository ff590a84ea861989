// test_requesters.cpp: the requesters driven as a user drives them. A thread
// timer, dispatched by the requester's own modal loop, finds the dialog,
// checks it, fills it and presses its button or key.
#include <gtest/gtest.h>
#include <windows.h>

#include <commdlg.h>

#include <cctype>
#include <functional>
#include <string>

#include "heap.h"
#include "requesters.h"
#include "strings.h"
#include "ui_support.h"
#include "window.h"

namespace {

constexpr int FILE_NAME_CONTROL = 0x47C;
constexpr int FILE_TYPE_CONTROL = 0x470;

// Runs `step` on every timer tick until it returns true. When the dialog never
// shows up the driver gives up and closes whatever dialog is open, so that a
// failing test ends instead of hanging in the modal loop.
class Driver {
public:
    explicit Driver(std::function<bool()> step) : step_(std::move(step))
    {
        current_ = this;
        limit_ = GetTickCount64() + 10000;
        timer_ = SetTimer(nullptr, 0, 20, tick);
    }
    ~Driver()
    {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool finished() const { return finished_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        Driver* driver = current_;
        if (!driver || driver->finished_ || driver->gave_up_) return;
        if (driver->step_()) {
            driver->finished_ = true;
        } else if (GetTickCount64() > driver->limit_) {
            driver->gave_up_ = true;
            rescue();
        }
    }
    static BOOL CALLBACK close_dialog(HWND window, LPARAM)
    {
        for (int button : {IDCANCEL, IDNO, IDOK})
            if (HWND control = GetDlgItem(window, button)) PostMessageA(control, BM_CLICK, 0, 0);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }
    static void rescue() { EnumThreadWindows(GetCurrentThreadId(), close_dialog, 0); }

    static inline Driver* current_ = nullptr;
    std::function<bool()> step_;
    ULONGLONG limit_ = 0;
    UINT_PTR timer_ = 0;
    bool finished_ = false;
    bool gave_up_ = false;
};

struct Search {
    const char* class_name;
    const char* title;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    char class_name[64] = "", title[256] = "";
    GetClassNameA(window, class_name, sizeof(class_name));
    GetWindowTextA(window, title, sizeof(title));
    if (IsWindowVisible(window) && std::string(class_name) == search->class_name && std::string(title) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level window of this thread with the class and title.
HWND find_dialog(const char* class_name, const char* title)
{
    Search search{class_name, title, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string text_of(HWND window)
{
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// The innermost of the nested controls that hold the file name.
HWND file_name_field(HWND dialog)
{
    HWND field = GetDlgItem(dialog, FILE_NAME_CONTROL);
    if (!field) field = GetDlgItem(dialog, 0x480);  // edt1: the layout of dialogs with a hook
    while (HWND inner = field ? GetDlgItem(field, FILE_NAME_CONTROL) : nullptr) field = inner;
    return field;
}

// Wine's folder names may differ from ours in case only.
std::string lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Each requester returns its text at the current string position.
template <typename Call>
std::string text_result(Call call)
{
    int32_t position = string_position();
    call(position);
    std::string text = string_at(position);
    set_string_position(position);
    return text;
}

void post_key(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

// The application's windows as the requesters find them.
class RequesterTest : public testing::Test {
protected:
    void SetUp() override
    {
        init_requesters();
        other = open_test_window(21);
        front = open_test_window(22);
        SetForegroundWindow(front);
    }
    void TearDown() override
    {
        close_window(21);
        close_window(22);
        drain_events();
    }
    bool both_disabled() const { return !IsWindowEnabled(other) && !IsWindowEnabled(front); }
    bool both_enabled() const { return IsWindowEnabled(other) && IsWindowEnabled(front); }
    HWND other = nullptr;
    HWND front = nullptr;
};

// Records whether the application's windows were usable again when the
// dialog was destroyed.
WNDPROC g_dialog_procedure = nullptr;
HWND g_watched[2];
int g_enabled_at_destroy = -1;
LRESULT CALLBACK watch_destroy(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) g_enabled_at_destroy = IsWindowEnabled(g_watched[0]) && IsWindowEnabled(g_watched[1]);
    return CallWindowProcA(g_dialog_procedure, window, message, wparam, lparam);
}

TEST_F(RequesterTest, InputRequesterShowsTheDefaultAndAnswersReturnAndEscape)
{
    g_watched[0] = other;
    g_watched[1] = front;
    g_enabled_at_destroy = -1;
    std::string shown, prompt, button;
    DWORD start = 99, end = 99;
    RECT frame{};
    bool disabled = false;
    Driver typed([&] {
        HWND dialog = find_dialog("InputRequester", "Title");
        if (!dialog) return false;
        HWND field = GetDlgItem(dialog, 10);
        shown = text_of(field);
        prompt = text_of(GetDlgItem(dialog, 0));
        button = text_of(GetDlgItem(dialog, 1000));
        SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        GetWindowRect(dialog, &frame);
        disabled = both_disabled();
        g_dialog_procedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watch_destroy)));
        // Typing goes where the caret is: after the default, replacing nothing.
        PostMessageA(field, WM_CHAR, '1', 1);
        PostMessageA(field, WM_CHAR, '2', 1);
        post_key(field, VK_RETURN);
        return true;
    });
    std::string answer = text_result([](int32_t p) { input_requester("Title", "size of the file", "0000", p); });
    EXPECT_TRUE(typed.finished());
    EXPECT_EQ(answer, "000012");
    EXPECT_EQ(shown, "0000");
    EXPECT_EQ(start, 4u);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(prompt, "size of the file");
    EXPECT_EQ(button, "OK");
    EXPECT_EQ(frame.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 150);
    EXPECT_EQ(frame.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 65);
    EXPECT_EQ(frame.right - frame.left, 300);
    EXPECT_EQ(frame.bottom - frame.top, 130);
    EXPECT_TRUE(disabled);
    EXPECT_EQ(g_enabled_at_destroy, 1);
    EXPECT_TRUE(both_enabled());
    WNDCLASSEXA unused{};
    unused.cbSize = sizeof(unused);
    EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(nullptr), "InputRequester", &unused));

    // Escape cancels whatever was typed; Return on an empty field is as empty.
    for (bool escape : {true, false}) {
        SetForegroundWindow(front);
        Driver key([escape] {
            HWND dialog = find_dialog("InputRequester", "Again");
            if (!dialog) return false;
            HWND field = GetDlgItem(dialog, 10);
            if (!escape) SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
            post_key(field, escape ? VK_ESCAPE : VK_RETURN);
            return true;
        });
        std::string cancelled = text_result([](int32_t p) { input_requester("Again", "prompt", "text", p); });
        EXPECT_TRUE(key.finished());
        EXPECT_EQ(cancelled, "") << (escape ? "Escape" : "Return on an empty field");
        EXPECT_TRUE(both_enabled());
    }
}

TEST_F(RequesterTest, MessageRequesterAnswersTheButtonAndLowersTopMostWindows)
{
    SetWindowPos(other, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ASSERT_TRUE(GetWindowLongPtrA(other, GWL_EXSTYLE) & WS_EX_TOPMOST);
    for (int button : {IDYES, IDNO}) {
        SetForegroundWindow(front);
        bool disabled = false, lowered = false;
        Driver click([&] {
            HWND box = find_dialog("#32770", "Question");
            if (!box) return false;
            disabled = both_disabled();
            lowered = !(GetWindowLongPtrA(other, GWL_EXSTYLE) & WS_EX_TOPMOST);
            PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
            return true;
        });
        EXPECT_EQ(message_requester("Question", "Overwrite the file?", MB_YESNO), button);
        EXPECT_TRUE(click.finished());
        EXPECT_TRUE(disabled);
        EXPECT_TRUE(lowered);
        EXPECT_TRUE(both_enabled());
        EXPECT_TRUE(GetWindowLongPtrA(other, GWL_EXSTYLE) & WS_EX_TOPMOST);
    }
    Driver ok([] {
        HWND box = find_dialog("#32770", "Note");
        if (box) PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return box != nullptr;
    });
    EXPECT_EQ(message_requester_ok("Note", "Done."), IDOK);
}

// A folder with one file, removed at the end.
class FileRequesterTest : public RequesterTest {
protected:
    void SetUp() override
    {
        RequesterTest::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "bitloupe_requester_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        CloseHandle(CreateFileA((folder + "\\a.jpg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    void TearDown() override
    {
        DeleteFileA((folder + "\\a.jpg").c_str());
        RemoveDirectoryA(folder.c_str());
        RequesterTest::TearDown();
    }
    std::string folder;
};

TEST_F(FileRequesterTest, OpenRequesterStartsInTheFolderAndReportsThePattern)
{
    std::string opened_in, first_name;
    bool disabled = false;
    Driver choose([&] {
        HWND dialog = find_dialog("#32770", "Open data");
        if (!dialog) return false;
        char path[MAX_PATH] = "";
        SendMessageA(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path));
        opened_in = path;
        HWND field = file_name_field(dialog);
        first_name = text_of(field);
        disabled = both_disabled();
        HWND types = GetDlgItem(dialog, FILE_TYPE_CONTROL);
        SendMessageA(types, CB_SETCURSEL, 1, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(FILE_TYPE_CONTROL, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("picked.bin"));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        return true;
    });
    // A folder path with its final backslash, as the program passes it.
    std::string chosen = text_result([this](int32_t p) {
        open_file_requester("Open data", (folder + "\\").c_str(), "JPEG Images|*.jpg|All Files|*.*", 0, p);
    });
    EXPECT_TRUE(choose.finished());
    EXPECT_EQ(lower(opened_in), lower(folder));
    EXPECT_EQ(first_name, "");
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(both_enabled());
    EXPECT_EQ(lower(chosen), lower(folder + "\\picked.bin"));
    EXPECT_EQ(selected_pattern(), 1);

    // One description without a pattern is still a usable filter, and a
    // wildcard is no file name to propose.
    std::string proposed;
    Driver any([&] {
        HWND dialog = find_dialog("#32770", "Any file");
        if (!dialog) return false;
        HWND field = file_name_field(dialog);
        proposed = text_of(field);
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((folder + "\\a.jpg").c_str()));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        return true;
    });
    chosen = text_result([](int32_t p) { open_file_requester("Any file", "*.bin", "Any(*.*)", 0, p); });
    EXPECT_TRUE(any.finished());
    EXPECT_EQ(proposed, "");
    EXPECT_EQ(lower(chosen), lower(folder + "\\a.jpg"));
    EXPECT_EQ(selected_pattern(), 0);
}

TEST_F(FileRequesterTest, CancelledSaveRequesterGivesNothing)
{
    std::string proposed;
    Driver cancel([&] {
        HWND dialog = find_dialog("#32770", "Save binary");
        if (!dialog) return false;
        proposed = text_of(file_name_field(dialog));
        PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return true;
    });
    std::string chosen = text_result([this](int32_t p) {
        save_file_requester("Save binary", (folder + "\\out.bin").c_str(), "Binary|*.bin|All Files|*.*", 0, p);
    });
    EXPECT_TRUE(cancel.finished());
    EXPECT_EQ(proposed, "out.bin");
    EXPECT_EQ(chosen, "");
    EXPECT_EQ(selected_pattern(), -1);
    EXPECT_TRUE(both_enabled());
}

// Bytes in use on the main heap, where the requesters keep their buffers.
int64_t main_heap_bytes()
{
    int64_t total = 0;
    PROCESS_HEAP_ENTRY entry{};
    HeapLock(main_heap());
    while (HeapWalk(main_heap(), &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    HeapUnlock(main_heap());
    return total;
}

// Cancelled and confirmed file requesters, again and again, leave the main
// heap as they found it (one file name buffer stays between requesters).
TEST_F(FileRequesterTest, RepeatedRequestersKeepTheHeapFlat)
{
    auto one_requester = [this](bool confirm) {
        Driver answer([&] {
            HWND dialog = find_dialog("#32770", "Open data");
            if (!dialog) return false;
            if (confirm) SendMessageA(file_name_field(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("chosen.bin"));
            PostMessageA(GetDlgItem(dialog, confirm ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
            return true;
        });
        text_result([this](int32_t p) {
            open_file_requester("Open data", (folder + "\\").c_str(), "All Files|*.*", 0, p);
        });
        EXPECT_TRUE(answer.finished());
    };
    HANDLE chosen = CreateFileA((folder + "\\chosen.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(chosen, INVALID_HANDLE_VALUE);
    CloseHandle(chosen);
    for (int i = 0; i < 3; ++i) one_requester(i % 2 == 0);
    const int64_t before = main_heap_bytes();
    for (int i = 0; i < 20; ++i) one_requester(i % 2 == 0);
    EXPECT_EQ(main_heap_bytes(), before);
}

// The name guard's hook goes only to Wine's dialog; on Windows a hook would
// bring back the older dialog, so there the flags are the plain ones.
TEST(FileDialogSetup, HookOnlyUnderWine)
{
    constexpr DWORD PLAIN = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER;
    const FileDialogSetup windows = file_dialog_setup(false);
    EXPECT_EQ(windows.flags, PLAIN);
    EXPECT_EQ(windows.hook, nullptr);

    const FileDialogSetup wine = file_dialog_setup(true);
    EXPECT_EQ(wine.flags, PLAIN | OFN_ENABLEHOOK | OFN_ENABLESIZING);
    EXPECT_NE(wine.hook, nullptr);

    // These tests run under Wine, and the answer does not change.
    EXPECT_TRUE(running_under_wine());
    EXPECT_TRUE(running_under_wine());
}

}  // namespace
