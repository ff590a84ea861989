// bench_viewer_e2e.cpp: the viewer as a user sees it. Starts bitloupe.exe as
// a separate process, loads 1 MiB through "Open..", turns MultiColumns on,
// then times scroll steps of the width bar (WM_HSCROLL, SB_LINERIGHT and
// SB_LINELEFT in turn) from posting the step to the new window title.
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

}  // namespace

int main(int argc, char** argv)
{
    const int steps = argc > 1 ? std::atoi(argv[1]) : 50;
    const char* from_environment = std::getenv("BITLOUPE_EXE");
    const std::string exe = windows_path(from_environment && *from_environment ? from_environment : BITLOUPE_EXE);

    std::string command = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "bench_viewer_e2e: cannot start %s\n", exe.c_str());
        return 1;
    }
    int status = 1;
    HWND main = nullptr;
    HWND bar = nullptr;
    std::string file = data_file(exe);
    if (!wait_until([&] { return (main = find_window(process.dwProcessId, nullptr, "Bitloupe, ")) != nullptr; })) {
        std::fprintf(stderr, "bench_viewer_e2e: no main window\n");
    } else if (!(bar = find_child(main, kWidthBar, "ScrollBar"))) {
        std::fprintf(stderr, "bench_viewer_e2e: no width bar\n");
    } else if (file.empty() || !open_file(main, process.dwProcessId, file)) {
        std::fprintf(stderr, "bench_viewer_e2e: loading the data failed\n");
    } else {
        PostMessageA(find_child(main, kMultiColumns, "Button"), BM_CLICK, 0, 0);
        Sleep(300);
        bool all_seen = true;
        std::string before = title_of(main);
        for (int warm = 0; warm < 2; ++warm) {  // a step to the right and back, untimed
            PostMessageA(GetParent(bar), WM_HSCROLL, MAKEWPARAM(warm == 0 ? SB_LINERIGHT : SB_LINELEFT, 0),
                         reinterpret_cast<LPARAM>(bar));
            wait_until([&] { return title_of(main) != before; });
            before = title_of(main);
        }
        int step = 0;
        double ns = bench::measure(steps, [&] {
            const WORD code = step++ % 2 == 0 ? SB_LINERIGHT : SB_LINELEFT;
            PostMessageA(GetParent(bar), WM_HSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(bar));
            std::string now;
            for (DWORD start = GetTickCount(); (now = title_of(main)) == before;)
                if (GetTickCount() - start > kWaitMs) {
                    all_seen = false;
                    break;
                }
            before = now;
        });
        if (all_seen) {
            bench::report("width bar step to new title, 1 MiB (median)", ns / 1e6, "ms");
            status = 0;
        } else {
            std::fprintf(stderr, "bench_viewer_e2e: a step brought no new title\n");
        }
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!file.empty()) DeleteFileA(file.c_str());
    return status;
}
