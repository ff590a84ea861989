// bench_viewer_e2e.cpp: the viewer as a user sees it. Starts bitloupe.exe as
// a separate process, loads 1 MiB through "Open..", turns MultiColumns on,
// then times scroll steps of the width bar (WM_HSCROLL, SB_LINERIGHT and
// SB_LINELEFT in turn) from posting the step to the new window title.
//
// The floor, stepped in turns with the viewer, is a second process started
// from this program (--floor) that answers the same posted step with nothing
// but a copy of a 641 x 481 24-bit bitmap to a child window and a new title:
// the same way to the screen and back, without the viewer's work.
//
//   bench_viewer_e2e.exe [STEPS]     (BITLOUPE_EXE in the environment overrides
//                                     the program's path)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench.h"
#include "bench_screen.h"

#ifndef BITLOUPE_EXE
#define BITLOUPE_EXE ""
#endif

namespace {

constexpr int kWidthBar = 2;
constexpr int kMultiColumns = 5;
constexpr int kMenuOpen = 1;
constexpr int kFileNameField = 0x47C;  // cmb13, or edt1 (0x480) in the layout with a hook
constexpr int kFileNameEdit = 0x480;
constexpr DWORD kWaitMs = 15000;
constexpr int kViewWidth = 641;
constexpr int kViewHeight = 481;
constexpr char kFloorTitle[] = "Bitloupe bench floor, ";

std::string windows_path(std::string path)
{
    if (path.empty() || path[0] != '/') return path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

template <typename Ready>
bool wait_until(Ready ready, DWORD timeout_ms = kWaitMs)
{
    DWORD start = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - start > timeout_ms) return false;
        Sleep(1);
    }
    return true;
}

std::string title_of(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

struct Search {
    DWORD process;
    const char* class_name;  // null: any
    const char* title;       // prefix
    HWND found;
};

BOOL CALLBACK match(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window)) return TRUE;
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    if (search->class_name && lstrcmpiA(name, search->class_name) != 0) return TRUE;
    if (title_of(window).rfind(search->title, 0) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

HWND find_window(DWORD process, const char* class_name, const char* title)
{
    Search search{process, class_name, title, nullptr};
    EnumWindows(match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ChildSearch {
    int id;
    const char* class_name;
    HWND found;
};

BOOL CALLBACK match_child(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<ChildSearch*>(parameter);
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    if (GetDlgCtrlID(window) != search->id || lstrcmpiA(name, search->class_name) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

HWND find_child(HWND parent, int id, const char* class_name)
{
    ChildSearch search{id, class_name, nullptr};
    EnumChildWindows(parent, match_child, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The 1 MiB file, made once beside the program.
std::string data_file(const std::string& exe)
{
    std::string path = exe.substr(0, exe.find_last_of('\\') + 1) + "bench_viewer_e2e.bin";
    std::vector<unsigned char> bytes(1 << 20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 37 + (i >> 9));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(h);
    return ok ? path : "";
}

bool open_file(HWND main, DWORD process, const std::string& path)
{
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kMenuOpen, 0), 0);
    HWND dialog = nullptr;
    if (!wait_until([&] { return (dialog = find_window(process, "#32770", "Please choose file to load")) != nullptr; }))
        return false;
    HWND name = nullptr;
    wait_until([&] {
        name = GetDlgItem(dialog, kFileNameField);
        if (!name) name = GetDlgItem(dialog, kFileNameEdit);
        return name != nullptr;
    });
    if (!name) return false;
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return wait_until([&] { return !IsWindow(dialog); });
}

// Posts width-bar steps to `target` (right and left in turn) and waits for
// `titled`'s title to change after each.
struct Stepper {
    HWND target;
    HWND titled;
    LPARAM bar;
    std::string before;
    int count = 0;
    bool all_seen = true;

    Stepper(HWND target_window, HWND titled_window, HWND bar_window)
        : target(target_window), titled(titled_window), bar(reinterpret_cast<LPARAM>(bar_window)),
          before(title_of(titled_window))
    {
    }

    void step()
    {
        const WORD code = count++ % 2 == 0 ? SB_LINERIGHT : SB_LINELEFT;
        PostMessageA(target, WM_HSCROLL, MAKEWPARAM(code, 0), bar);
        // Between reads of the title the driver gives up its time slice: on a
        // machine of two cores, a driver that spins takes the CPU from the very
        // processes it times.
        std::string now;
        for (DWORD start = GetTickCount(); (now = title_of(titled)) == before; SwitchToThread())
            if (GetTickCount() - start > kWaitMs) {
                all_seen = false;
                break;
            }
        before = now;
    }
};

// The floor process: a top-level window with a canvas-sized child; each
// WM_HSCROLL copies the bitmap to the child and renames the window.
struct Floor {
    const bench::ScreenCopy* copy;
    HWND child;
    int steps;
};
Floor g_floor{};

LRESULT CALLBACK floor_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_HSCROLL: {
        g_floor.copy->copy_to(g_floor.child);
        const std::string title = kFloorTitle + std::to_string(++g_floor.steps);
        SetWindowTextA(window, title.c_str());
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

int run_floor()
{
    const bench::ScreenCopy copy(kViewWidth, kViewHeight);
    if (!copy.ready()) return 1;
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = floor_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "BitloupeBenchFloor";
    WNDCLASSA child_class{};
    child_class.lpfnWndProc = DefWindowProcA;
    child_class.hInstance = window_class.hInstance;
    child_class.lpszClassName = "BitloupeBenchFloorCanvas";
    if (!RegisterClassA(&window_class) || !RegisterClassA(&child_class)) return 1;
    const std::string title = std::string(kFloorTitle) + "0";
    HWND top = CreateWindowA(window_class.lpszClassName, title.c_str(), WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0,
                             kViewWidth + 40, kViewHeight + 120, nullptr, nullptr, window_class.hInstance, nullptr);
    HWND child = top ? CreateWindowA(child_class.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, kViewWidth,
                                     kViewHeight, top, nullptr, window_class.hInstance, nullptr)
                     : nullptr;
    if (!child) return 1;
    g_floor = Floor{&copy, child, 0};
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

bool start_process(const std::string& exe, const std::string& arguments, PROCESS_INFORMATION& process)
{
    std::string command = "\"" + exe + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    return CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process) != 0;
}

void end_process(PROCESS_INFORMATION& process, HWND main)
{
    if (!process.hProcess) return;
    if (main) PostMessageA(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = PROCESS_INFORMATION{};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--floor") return run_floor();
    const int steps = argc > 1 ? std::atoi(argv[1]) : 50;
    const char* from_environment = std::getenv("BITLOUPE_EXE");
    const std::string exe = windows_path(from_environment && *from_environment ? from_environment : BITLOUPE_EXE);

    PROCESS_INFORMATION process{};
    if (!start_process(exe, "", process)) {
        std::fprintf(stderr, "bench_viewer_e2e: cannot start %s\n", exe.c_str());
        return 1;
    }
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof(self));
    PROCESS_INFORMATION floor_process{};
    int status = 1;
    HWND main = nullptr;
    HWND bar = nullptr;
    HWND floor_window = nullptr;
    HWND multi_columns = nullptr;
    std::string file = data_file(exe);
    if (!wait_until([&] { return (main = find_window(process.dwProcessId, nullptr, "Bitloupe, ")) != nullptr; })) {
        std::fprintf(stderr, "bench_viewer_e2e: no main window\n");
    } else if (!(bar = find_child(main, kWidthBar, "ScrollBar")) ||
               !(multi_columns = find_child(main, kMultiColumns, "Button"))) {
        std::fprintf(stderr, "bench_viewer_e2e: no width bar or MultiColumns box\n");
    } else if (file.empty() || !open_file(main, process.dwProcessId, file)) {
        std::fprintf(stderr, "bench_viewer_e2e: loading the data failed\n");
    } else if (!start_process(self, " --floor", floor_process) ||
               !wait_until([&] {
                   return (floor_window = find_window(floor_process.dwProcessId, nullptr, kFloorTitle)) != nullptr;
               })) {
        std::fprintf(stderr, "bench_viewer_e2e: no floor window\n");
    } else {
        PostMessageA(multi_columns, BM_CLICK, 0, 0);
        wait_until([&] { return SendMessageA(multi_columns, BM_GETCHECK, 0, 0) == BST_CHECKED; });
        Stepper viewer(GetParent(bar), main, bar);
        Stepper floor(floor_window, floor_window, nullptr);
        for (int warm = 0; warm < 2; ++warm) {  // a step to the right and back, untimed
            viewer.step();
            floor.step();
        }
        const bench::PairMedians medians = bench::measure_pair(
            steps, [&] { viewer.step(); }, [&] { floor.step(); });
        if (viewer.all_seen && floor.all_seen) {
            bench::report("width bar step to new title, 1 MiB (median)", medians.body / 1e6, "ms");
            bench::report("  floor: step to a 641x481 copy + new title", medians.floor / 1e6, "ms");
            status = 0;
        } else {
            std::fprintf(stderr, "bench_viewer_e2e: a step brought no new title\n");
        }
    }
    end_process(floor_process, floor_window);
    end_process(process, main);
    if (!file.empty()) DeleteFileA(file.c_str());
    return status;
}
