// viewer_support.h: drives bitloupe.exe from a separate process for the
// end-to-end tests: starts it, finds its windows, uses menus, scroll bars, check
// boxes, spin fields, dialogs and message boxes as a person would, takes
// screenshots of the canvas and computes the pictures the view rules give.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#ifndef BITLOUPE_EXE
#define BITLOUPE_EXE ""
#endif
#ifndef VIEWER_WORK_DIR
#define VIEWER_WORK_DIR "."
#endif

namespace viewer_e2e {

constexpr int VIEW_WIDTH = 641;
constexpr int VIEW_HEIGHT = 481;
constexpr DWORD WAIT_MS = 15000;

constexpr uint32_t BLACK = 0x000000;
constexpr uint32_t WHITE = 0xFFFFFF;
constexpr uint32_t BLUE = 0x0000FF;
constexpr uint32_t RED = 0xFF0000;

// Gadget numbers (control identifiers) of the main window.
constexpr int ROW_BAR = 1;
constexpr int WIDTH_BAR = 2;
constexpr int GRID_BOX = 4;
constexpr int MULTI_BOX = 5;
constexpr int OFFSET_SPIN = 7;
constexpr int GRID_X_SPIN = 9;
constexpr int GRID_Y_SPIN = 11;
constexpr int INVERT_BOX = 12;
constexpr int ALIGN_BOX = 14;

// Menu item numbers.
constexpr int MENU_OPEN = 1;
constexpr int MENU_SAVE_IMAGE = 2;
constexpr int MENU_SAVE_BINARY = 3;
constexpr int MENU_QUIT = 4;
constexpr int MENU_ZOOM_1 = 5;
constexpr int MENU_ZOOM_2 = 6;
constexpr int MENU_ZOOM_8 = 7;

constexpr int FILE_NAME_CONTROL = 0x47C;  // cmb13; edt1 (0x480) when the dialog has a hook
constexpr int FILE_NAME_EDIT = 0x480;
constexpr int MESSAGE_TEXT_CONTROL = 0xFFFF;
constexpr int INPUT_FIELD = 10;
constexpr int INPUT_OK = 1000;

// A Unix path as Wine sees it (drive Z: is the root).
inline std::string windows_path(const std::string& unix_path)
{
    if (unix_path.empty() || unix_path[0] != '/') return unix_path;
    std::string out = "Z:" + unix_path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

inline std::string program_path()
{
    if (const char* from_environment = std::getenv("BITLOUPE_EXE"); from_environment && *from_environment)
        return windows_path(from_environment);
    return windows_path(BITLOUPE_EXE);
}

inline std::string work_dir() { return windows_path(VIEWER_WORK_DIR); }

inline std::string data_dir()
{
    std::string dir = work_dir() + "\\data";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Reads a whole file while letting the program replace it meanwhile: a save
// moves a new file over the target, which a reader without FILE_SHARE_DELETE
// would make fail.
inline std::optional<std::vector<uint8_t>> read_file(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(file);
    return bytes;
}

inline bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The last-write time of a file, read without opening it: a reader that holds
// the file open at the moment the program moves its new file over it makes
// that save fail (and rightly report it), so waits on a save look at this.
inline uint64_t write_time(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// True once a file written after `before` (a write_time) stands at `path`. A
// replacement may leave the name empty for a moment (Wine's ReplaceFileA moves
// the old file aside first): a missing file is not yet a saved one.
inline bool saved_since(const std::string& path, uint64_t before)
{
    const uint64_t now = write_time(path);
    return now != 0 && now != before;
}

// Polls `ready` every few milliseconds until it holds or the time is up.
inline bool wait_until(const std::function<bool()>& ready, DWORD timeout_ms = WAIT_MS)
{
    const ULONGLONG limit = GetTickCount64() + timeout_ms;
    for (;;) {
        if (ready()) return true;
        if (GetTickCount64() > limit) return false;
        Sleep(5);
    }
}

inline std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

// Text of a window of another process (WM_GETTEXT is marshalled).
inline std::string text_of(HWND window)
{
    char text[1024] = {};
    SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// ---------------------------------------------------------------------------
// The view rules, computed independently of the program.

struct ViewParams {
    const std::vector<uint8_t>* data = nullptr;  // null: nothing loaded
    int width = 1;
    int zoom = 1;
    bool multi = false;
    bool invert = false;
    bool align = false;
    bool grid = false;
    int grid_x = 8;
    int grid_y = 8;
    int row = 0;
    int offset = 0;
};

using Picture = std::vector<uint32_t>;  // 0xRRGGBB, VIEW_WIDTH x VIEW_HEIGHT

inline void fill_box(Picture& picture, int x, int y, int w, int h, uint32_t colour)
{
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, VIEW_WIDTH), y1 = std::min(y + h, VIEW_HEIGHT);
    for (int py = y0; py < y1; ++py)
        for (int px = x0; px < x1; ++px) picture[static_cast<size_t>(py) * VIEW_WIDTH + px] = colour;
}

inline Picture expected_picture(const ViewParams& p)
{
    Picture picture(static_cast<size_t>(VIEW_WIDTH) * VIEW_HEIGHT, BLACK);
    const long long length = p.data ? static_cast<long long>(p.data->size()) : 0;
    const int columns = p.multi ? static_cast<int>(641.0 / p.width / 8.0) : 1;
    int row_limit = 480;
    if (p.align) row_limit = p.grid_y == 1 ? 0 : p.grid_y * static_cast<int>(480.0 / (p.grid_y - 1.0));
    const int square = p.zoom == 8 ? 7 : p.zoom;
    long long position = static_cast<long long>(p.row) * p.width + p.offset;
    for (int col = 1; col <= columns; col += p.zoom) {
        const int column_x = 1 + (col - 1) * p.width * 8;
        for (int y = 0; y <= row_limit; y += p.zoom) {
            for (int k = 1; k <= p.width; ++k) {
                int value;
                if (p.data) {
                    value = position >= 0 && position < length ? (*p.data)[static_cast<size_t>(position)] : 0;
                    if (p.invert && position >= 0 && position < length) value = 255 - value;
                } else {
                    value = y;
                }
                ++position;
                const int byte_x = column_x + (k - 1) * 8 * p.zoom;
                if (y >= VIEW_HEIGHT || byte_x >= VIEW_WIDTH) continue;
                for (int j = 0; j < 8; ++j) {
                    const int mask = 0x80 >> j;
                    uint32_t colour = (value & mask) == mask ? WHITE : BLACK;
                    // Past the end is blue; with data, so is anything before its start.
                    if (position > length || (p.data && position <= 0)) colour = BLUE;
                    fill_box(picture, byte_x + j * p.zoom, y, square, square, colour);
                }
            }
        }
    }
    if (p.grid) {
        for (int x = 0; x <= 641; x += p.grid_x) fill_box(picture, x, 0, 1, 482, RED);
        for (int y = 0; y <= 481; y += p.grid_y) fill_box(picture, 0, y, 642, 1, RED);
    }
    return picture;
}

inline std::string expected_title(const ViewParams& p)
{
    std::string title = "Bitloupe, sprsize:" + std::to_string(p.width);
    if (p.grid) title += ", grid:" + std::to_string(p.grid_x) + "x" + std::to_string(p.grid_y);
    title += " disp:" + std::to_string(p.row * p.width + p.offset) + " zoom:" + std::to_string(p.zoom);
    return title;
}

// Writes a picture as a 24-bit BMP.
inline void save_bmp(const std::string& path, const Picture& picture)
{
    const int stride = (VIEW_WIDTH * 3 + 3) & ~3;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * VIEW_HEIGHT, 0);
    for (int y = 0; y < VIEW_HEIGHT; ++y)
        for (int x = 0; x < VIEW_WIDTH; ++x) {
            const uint32_t c = picture[static_cast<size_t>(y) * VIEW_WIDTH + x];
            uint8_t* out = &pixels[static_cast<size_t>(VIEW_HEIGHT - 1 - y) * stride + x * 3];
            out[0] = c & 0xFF;
            out[1] = (c >> 8) & 0xFF;
            out[2] = (c >> 16) & 0xFF;
        }
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = VIEW_WIDTH;
    info.biHeight = VIEW_HEIGHT;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
}

// ---------------------------------------------------------------------------
// The program under test.

struct WindowSearch {
    DWORD process;
    std::string class_name;  // empty: any
    std::string title;       // prefix
    HWND found;
};

inline BOOL CALLBACK match_top_level(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window)) return TRUE;
    if (!search->class_name.empty() && class_of(window) != search->class_name) return TRUE;
    char title[512] = {};
    GetWindowTextA(window, title, sizeof(title));
    if (std::strncmp(title, search->title.c_str(), search->title.size()) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

struct ChildSearch {
    int id;
    std::string class_name;
    HWND found;
};

inline BOOL CALLBACK match_child(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<ChildSearch*>(parameter);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    if (lstrcmpiA(class_of(window).c_str(), search->class_name.c_str()) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

inline HWND find_child(HWND parent, int id, const char* class_name)
{
    ChildSearch search{id, class_name, nullptr};
    EnumChildWindows(parent, match_child, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The file name field of an Open or Save dialog, once the dialog has made it.
inline HWND file_name_field(HWND dialog)
{
    HWND field = nullptr;
    wait_until([&] {
        field = find_child(dialog, FILE_NAME_CONTROL, "Edit");
        if (!field) field = find_child(dialog, FILE_NAME_EDIT, "Edit");
        return field != nullptr || !IsWindow(dialog);
    });
    return field;
}

class Viewer {
public:
    Viewer() = default;
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;
    ~Viewer()
    {
        if (!process_.hProcess) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            // A failed test may leave a dialog open: close the program for good.
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, WAIT_MS);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    // Starts the program and waits for its main window.
    ::testing::AssertionResult start()
    {
        const std::string exe = program_path();
        if (exe.empty() || !file_exists(exe)) return ::testing::AssertionFailure() << "no program at '" << exe << "'";
        std::string command = "\"" + exe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        const std::string dir = work_dir();
        if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                            &process_))
            return ::testing::AssertionFailure() << "CreateProcess failed: " << GetLastError();
        if (!wait_until([&] { return (main_ = top_level("", "Bitloupe")) != nullptr || exited(); }) || !main_)
            return ::testing::AssertionFailure() << "no main window titled Bitloupe";
        // The first redraw writes the full title just before the event loop.
        if (!wait_until([&] { return title().rfind("Bitloupe, ", 0) == 0 || exited(); }) || exited())
            return ::testing::AssertionFailure() << "the first view was not drawn: '" << title() << "'";
        return ::testing::AssertionSuccess();
    }

    HWND main() const { return main_; }
    DWORD process_id() const { return process_.dwProcessId; }

    HWND top_level(const std::string& class_name, const std::string& title) const
    {
        WindowSearch search{process_.dwProcessId, class_name, title, nullptr};
        EnumWindows(match_top_level, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND wait_window(const std::string& class_name, const std::string& title, DWORD timeout_ms = WAIT_MS) const
    {
        HWND found = nullptr;
        wait_until([&] { return (found = top_level(class_name, title)) != nullptr || exited(); }, timeout_ms);
        return found;
    }

    bool exited() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    // The exit code once the process has ended, or nothing after the timeout.
    std::optional<DWORD> exit_code(DWORD timeout_ms = WAIT_MS) const
    {
        if (WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    std::string title() const
    {
        char text[512] = {};
        GetWindowTextA(main_, text, sizeof(text));
        return text;
    }

    ::testing::AssertionResult wait_title(const std::string& expected) const
    {
        if (wait_until([&] { return title() == expected; })) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "title '" << title() << "', expected '" << expected << "'";
    }

    HWND gadget(int id, const char* class_name) const { return find_child(main_, id, class_name); }
    HWND field(int spin) const { return gadget(spin, "Edit"); }

    void menu(int item) const { PostMessageA(main_, WM_COMMAND, MAKEWPARAM(item, 0), 0); }
    void click(int box) const { PostMessageA(gadget(box, "Button"), BM_CLICK, 0, 0); }
    bool checked(int box) const { return SendMessageA(gadget(box, "Button"), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // A scroll bar's notification, as the bar sends it (SB_LINEDOWN is
    // SB_LINERIGHT, SB_PAGEDOWN is SB_PAGERIGHT).
    void scroll(int bar, int code) const
    {
        HWND handle = gadget(bar, "ScrollBar");
        const UINT message = bar == WIDTH_BAR ? WM_HSCROLL : WM_VSCROLL;
        PostMessageA(GetParent(handle), message, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(handle));
    }

    // One step of a scroll bar's arrow.
    void scroll_line(int bar, bool forward = true) const { scroll(bar, forward ? SB_LINEDOWN : SB_LINEUP); }

    // The range and page a scroll bar holds, read from the other process.
    SCROLLINFO scroll_info(int bar) const
    {
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_ALL;
        GetScrollInfo(gadget(bar, "ScrollBar"), SB_CTL, &info);
        return info;
    }

    // The thumb let go at `position`.
    void scroll_to(int bar, int position) const
    {
        HWND handle = gadget(bar, "ScrollBar");
        const UINT message = bar == WIDTH_BAR ? WM_HSCROLL : WM_VSCROLL;
        SendMessageA(handle, SBM_SETPOS, static_cast<WPARAM>(position), TRUE);
        PostMessageA(GetParent(handle), message, MAKEWPARAM(SB_THUMBPOSITION, position),
                     reinterpret_cast<LPARAM>(handle));
    }

    int scroll_position(int bar) const { return static_cast<int>(SendMessageA(gadget(bar, "ScrollBar"), SBM_GETPOS, 0, 0)); }

    // Typing into a spin field: select all, then one character.
    void select_all(int spin) const { SendMessageA(field(spin), EM_SETSEL, 0, -1); }
    void type(int spin, char c) const { PostMessageA(field(spin), WM_CHAR, static_cast<WPARAM>(static_cast<uint8_t>(c)), 1); }
    std::string field_text(int spin) const { return text_of(field(spin)); }
    // Succeeds once the program has handled everything posted to it so far:
    // posted messages reach its thread in order, and it takes the next one
    // only when the events of the one before are handled. The marker is a text
    // limit of the offset field, far above anything typed.
    ::testing::AssertionResult sync() const
    {
        static WPARAM marker = 0x20000;
        const WPARAM value = ++marker;
        HWND target = field(OFFSET_SPIN);
        PostMessageA(target, EM_SETLIMITTEXT, value, 0);
        if (wait_until([&] { return static_cast<WPARAM>(SendMessageA(target, EM_GETLIMITTEXT, 0, 0)) == value; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the program did not take a posted message";
    }

    // Pasting: the selection replaced by a whole text at once.
    void paste(int spin, const char* text) const
    {
        select_all(spin);
        SendMessageA(field(spin), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
    }

    Picture screenshot() const
    {
        Picture picture(static_cast<size_t>(VIEW_WIDTH) * VIEW_HEIGHT, 0);
        POINT origin{0, 0};
        ClientToScreen(main_, &origin);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = VIEW_WIDTH;
        info.bmiHeader.biHeight = -VIEW_HEIGHT;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap && bits) {
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(memory, 0, 0, VIEW_WIDTH, VIEW_HEIGHT, screen, origin.x, origin.y, SRCCOPY);
            GdiFlush();
            const int stride = (VIEW_WIDTH * 3 + 3) & ~3;
            const auto* rows = static_cast<const uint8_t*>(bits);
            for (int y = 0; y < VIEW_HEIGHT; ++y)
                for (int x = 0; x < VIEW_WIDTH; ++x) {
                    const uint8_t* p = rows + static_cast<size_t>(y) * stride + x * 3;
                    picture[static_cast<size_t>(y) * VIEW_WIDTH + x] =
                        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
                }
            SelectObject(memory, old);
            DeleteObject(bitmap);
        }
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return picture;
    }

    // Polls screenshots until the canvas shows `expected`; on a mismatch it
    // describes the first differing pixels and keeps both pictures.
    ::testing::AssertionResult wait_picture(const Picture& expected, const char* name) const
    {
        Picture actual;
        if (wait_until([&] { return (actual = screenshot()) == expected; }, 5000))
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure();
        failure << name << ": the canvas differs from the expected picture";
        int shown = 0;
        size_t different = 0;
        for (size_t i = 0; i < actual.size(); ++i) {
            if (actual[i] == expected[i]) continue;
            ++different;
            if (shown++ < 8) {
                char line[96];
                std::snprintf(line, sizeof(line), "\n  at %d,%d: %06X, expected %06X", static_cast<int>(i % VIEW_WIDTH),
                              static_cast<int>(i / VIEW_WIDTH), static_cast<unsigned>(actual[i]),
                              static_cast<unsigned>(expected[i]));
                failure << line;
            }
        }
        failure << "\n  " << different << " pixels differ";
        save_bmp(work_dir() + "\\" + name + "_actual.bmp", actual);
        save_bmp(work_dir() + "\\" + name + "_expected.bmp", expected);
        return failure;
    }

    // The title and then the canvas of the view described by `params`.
    ::testing::AssertionResult shows(const ViewParams& params, const char* name) const
    {
        if (auto titled = wait_title(expected_title(params)); !titled) return titled << " (" << name << ")";
        return wait_picture(expected_picture(params), name);
    }

    // Fills the file name of an Open or Save dialog and presses OK; waits
    // until the dialog has gone.
    ::testing::AssertionResult answer_file_dialog(const std::string& title, const std::string& path) const
    {
        HWND dialog = wait_window("#32770", title);
        if (!dialog) return ::testing::AssertionFailure() << "no dialog titled '" << title << "'";
        HWND name = file_name_field(dialog);
        if (!name) return ::testing::AssertionFailure() << "no file name field in '" << title << "'";
        SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        if (!wait_until([&] { return !IsWindow(dialog) || exited(); }))
            return ::testing::AssertionFailure() << "the dialog '" << title << "' stayed open";
        return ::testing::AssertionSuccess();
    }

    // Finds a message box by title, returns its text and presses `button`.
    std::string answer_message(const std::string& title, int button, DWORD timeout_ms = WAIT_MS) const
    {
        HWND box = wait_window("#32770", title, timeout_ms);
        if (!box) return "<no message box titled " + title + ">";
        std::string text = text_of(GetDlgItem(box, MESSAGE_TEXT_CONTROL));
        HWND press = GetDlgItem(box, button);
        if (!press) return "<no button " + std::to_string(button) + " in " + title + ">";
        PostMessageA(press, BM_CLICK, 0, 0);
        wait_until([&] { return !IsWindow(box) || exited(); });
        return text;
    }

    // Loads a file through "Open..", then waits until the main window is
    // usable again.
    ::testing::AssertionResult open(const std::string& path) const
    {
        menu(MENU_OPEN);
        return answer_file_dialog("Please choose file to load", path);
    }

    // Save binary.. with `count` typed into the byte count requester; the
    // Save dialog that follows is the caller's.
    ::testing::AssertionResult ask_save_binary(const char* count) const
    {
        menu(MENU_SAVE_BINARY);
        HWND input = wait_window("InputRequester", "Title");
        if (!input) return ::testing::AssertionFailure() << "no input requester";
        HWND field = nullptr;
        // The requester fills its field right after showing up.
        if (!wait_until([&] { return (field = find_child(input, INPUT_FIELD, "Edit")) && text_of(field) == "0000"; }))
            return ::testing::AssertionFailure() << "default '" << text_of(field) << "'";
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(count));
        PostMessageA(GetDlgItem(input, INPUT_OK), BM_CLICK, 0, 0);
        if (!wait_until([&] { return !IsWindow(input); })) return ::testing::AssertionFailure() << "input stayed";
        return ::testing::AssertionSuccess();
    }

    // The same, then `path` in the Save dialog.
    ::testing::AssertionResult save_binary(const char* count, const std::string& path) const
    {
        if (auto asked = ask_save_binary(count); !asked) return asked;
        return answer_file_dialog("Save binary file", path);
    }

private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

inline const std::vector<uint8_t> THREE_BYTES{0x80, 0x01, 0xFF};

inline std::string three_byte_file()
{
    const std::string path = data_dir() + "\\three.bin";
    write_file(path, THREE_BYTES);
    return path;
}

inline std::optional<std::vector<uint8_t>> console_font() { return read_file(data_dir() + "\\font.psf"); }


}  // namespace viewer_e2e
