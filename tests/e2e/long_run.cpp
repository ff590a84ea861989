// long_run.cpp: a soak run of bitloupe.exe. One viewer process receives a long
// seeded sequence of random user actions (scroll bars, check boxes, typing into
// the spin fields, the zoom menu, loading files, saving the view and byte
// ranges, cancelling dialogs) while the driver samples its GDI objects, USER
// objects, handles and committed private memory. It fails when the program
// dies, stops answering, shows an inconsistent view state, or when a counter
// keeps growing after the warm-up.
//
//   long_run [--actions N] [--seed S] [--sample-every K] [--csv FILE]
//            [--only ACTION] [--dir FOLDER]
//
// --only repeats one kind of action (the names are in ACTIONS below), which
// tells which action a growing counter comes from; --dir puts the run's data
// files and saves in a folder of its own.
// The seed is printed; the same seed replays the same action sequence.
#include "viewer_support.h"

#include <commctrl.h>
#include <psapi.h>

#include <cinttypes>
#include <cstdlib>
#include <deque>
#include <random>
#include <sstream>

namespace {

using namespace viewer_e2e;

constexpr DWORD HANG_MS = 15000;

// ---------------------------------------------------------------------------
// Resource counters of another process.

struct Sample {
    long long actions = 0;
    long long gdi = 0, user = 0, handles = 0, memory = 0;  // what the driver uses
    long long dialog_keys = 0;  // Wine's dialog key handles, not in `handles`
    long long gdi_api = 0, user_api = 0, handles_api = 0, private_usage = 0;  // the documented calls
    const char* gdi_source = "";
    const char* user_source = "";
    const char* handles_source = "";
    const char* memory_source = "";
};

struct ProcessBasic {
    LONG_PTR exit_status;
    void* peb;
    ULONG_PTR affinity;
    LONG_PTR priority;
    ULONG_PTR process_id;
    ULONG_PTR parent_id;
};
using QueryProcess = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);

constexpr size_t PEB_GDI_TABLE = 0xF8;  // GdiSharedHandleTable in a 64-bit PEB
constexpr size_t GDI_ENTRIES = 0x10000;
constexpr size_t GDI_ENTRY_SIZE = 24;
constexpr size_t GDI_ENTRY_TYPE = 14;

// In-use entries of the process's GDI handle table, or -1 when it cannot be read.
long long count_gdi_table(HANDLE process)
{
    static auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return -1;
    ProcessBasic basic{};
    if (query(process, 0, &basic, sizeof(basic), nullptr) != 0 || !basic.peb) return -1;
    uint64_t table = 0;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(basic.peb) + PEB_GDI_TABLE, &table, sizeof(table), &got) ||
        !table)
        return -1;
    static std::vector<uint8_t> entries(GDI_ENTRIES * GDI_ENTRY_SIZE);
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(table)), entries.data(),
                           entries.size(), &got) ||
        got != entries.size())
        return -1;
    long long used = 0;
    for (size_t i = 0; i < GDI_ENTRIES; ++i) used += entries[i * GDI_ENTRY_SIZE + GDI_ENTRY_TYPE] != 0;
    return used;
}

struct WindowCount {
    DWORD process;
    long long count;
};

BOOL CALLBACK count_child(HWND window, LPARAM parameter)
{
    auto* counting = reinterpret_cast<WindowCount*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == counting->process) ++counting->count;
    return TRUE;
}

BOOL CALLBACK count_top_level(HWND window, LPARAM parameter)
{
    auto* counting = reinterpret_cast<WindowCount*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != counting->process) return TRUE;
    ++counting->count;
    // EnumChildWindows walks all descendants.
    EnumChildWindows(window, count_child, parameter);
    return TRUE;
}

long long count_windows(DWORD process_id)
{
    WindowCount counting{process_id, 0};
    EnumWindows(count_top_level, reinterpret_cast<LPARAM>(&counting));
    return counting.count;
}

// Wine 8.0's Open and Save dialogs leave one handle to this registry key open
// every time a file is accepted (a standalone program calling only
// GetOpenFileNameA shows the same), so under Wine those handles are counted
// apart from the program's own.
constexpr wchar_t PLATFORM_DIALOG_KEY[] = L"\\ComDlg32\\LastVisitedMRU";

struct ObjectName {
    USHORT length;
    USHORT maximum;
    wchar_t* buffer;
};
using QueryObject = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);

bool is_platform_dialog_key(HANDLE handle)
{
    static auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    if (!query) return false;
    alignas(8) static char buffer[4096];
    constexpr int OBJECT_NAME_INFORMATION = 1;
    if (query(handle, OBJECT_NAME_INFORMATION, buffer, sizeof(buffer) - 2, nullptr) != 0) return false;
    const auto* name = reinterpret_cast<const ObjectName*>(buffer);
    if (!name->buffer) return false;
    const std::wstring text(name->buffer, name->length / sizeof(wchar_t));
    const std::wstring tail = PLATFORM_DIALOG_KEY;
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct HandleCount {
    long long program = 0;
    long long platform_dialog_keys = 0;
};

// Handle values that duplicate successfully. Wine hands out the lowest free
// value, so the first 16,384 values hold every handle of a run.
HandleCount count_handles(HANDLE process)
{
    HandleCount count;
    for (uintptr_t value = 4; value <= 0x10000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            ++(is_platform_dialog_key(copy) ? count.platform_dialog_keys : count.program);
            CloseHandle(copy);
        }
    }
    return count;
}

long long committed_private(HANDLE process)
{
    long long total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof(region)) == sizeof(region);) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<long long>(region.RegionSize);
        char* next = static_cast<char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

Sample take_sample(HANDLE process, DWORD process_id, long long actions)
{
    Sample s;
    s.actions = actions;
    s.gdi_api = GetGuiResources(process, GR_GDIOBJECTS);
    s.user_api = GetGuiResources(process, GR_USEROBJECTS);
    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles)) s.handles_api = handles;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    long long pagefile = 0;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))) {
        s.private_usage = static_cast<long long>(counters.PrivateUsage);
        pagefile = static_cast<long long>(counters.PagefileUsage);
    }

    if (s.gdi_api > 0) {
        s.gdi = s.gdi_api;
        s.gdi_source = "GetGuiResources";
    } else {
        s.gdi = count_gdi_table(process);
        s.gdi_source = "handle table";
    }
    if (s.user_api > 0) {
        s.user = s.user_api;
        s.user_source = "GetGuiResources";
    } else {
        s.user = count_windows(process_id);
        s.user_source = "windows";
    }
    if (s.handles_api > 0) {
        s.handles = s.handles_api;
        s.handles_source = "GetProcessHandleCount";
    } else {
        const HandleCount counted = count_handles(process);
        s.handles = counted.program;
        s.dialog_keys = counted.platform_dialog_keys;
        s.handles_source = "DuplicateHandle";
    }
    if (s.private_usage > 0) {
        s.memory = s.private_usage;
        s.memory_source = "PrivateUsage";
    } else if (pagefile > 0) {
        s.memory = pagefile;
        s.memory_source = "PagefileUsage";
    } else {
        s.memory = committed_private(process);
        s.memory_source = "VirtualQueryEx";
    }
    return s;
}

// ---------------------------------------------------------------------------
// Flatness after the warm-up.
//
// The samples are taken in the same resting state (no dialog open, every
// action handled), but a count still depends on what the last actions left
// behind: a loaded file's memory, objects the common dialogs or the JPEG
// encoder create on first use and keep, a window class registered while a
// requester is up. Those come to a bounded level. So the samples after the
// first fifth of the run are split in two halves, and the later half must not
// exceed the highest count seen before it by more than a few objects. One
// object leaked per occurrence of even the rarest action exceeds that within
// a few thousand actions; a leak on a frequent action exceeds it at once.

constexpr long long OBJECT_TOLERANCE = 8;
constexpr long long MEMORY_TOLERANCE = 4LL << 20;

struct Verdict {
    bool decided = false;
    std::vector<std::string> failures;
};

Verdict judge(const std::vector<Sample>& samples, long long total_actions)
{
    Verdict verdict;
    const long long warm_up = total_actions / 5;
    std::vector<const Sample*> before, after;
    for (const Sample& s : samples) (s.actions <= warm_up ? before : after).push_back(&s);
    if (before.empty() || after.size() < 2) return verdict;
    verdict.decided = true;
    const size_t half = after.size() / 2;
    struct Counter {
        const char* name;
        long long Sample::*field;
    };
    for (const Counter& c : {Counter{"GDI objects", &Sample::gdi}, Counter{"USER objects", &Sample::user},
                             Counter{"handles", &Sample::handles}}) {
        long long reference = 0;
        for (const Sample* s : before) reference = std::max(reference, s->*c.field);
        for (size_t i = 0; i < half; ++i) reference = std::max(reference, after[i]->*c.field);
        long long late = 0;
        long long late_at = 0;
        for (size_t i = half; i < after.size(); ++i)
            if (after[i]->*c.field > late) {
                late = after[i]->*c.field;
                late_at = after[i]->actions;
            }
        if (late > reference + OBJECT_TOLERANCE) {
            verdict.failures.push_back(std::string(c.name) + " grew: " + std::to_string(late) + " at action " +
                                       std::to_string(late_at) + ", at most " + std::to_string(reference) +
                                       " before (tolerance " + std::to_string(OBJECT_TOLERANCE) + ")");
        }
    }
    const long long first = after.front()->memory;
    const long long last = after.back()->memory;
    if (last > first + MEMORY_TOLERANCE)
        verdict.failures.push_back("committed private memory grew: " + std::to_string(last) + " bytes at action " +
                                   std::to_string(after.back()->actions) + ", " + std::to_string(first) +
                                   " at action " + std::to_string(after.front()->actions) + " (tolerance 4 MiB)");
    return verdict;
}

// ---------------------------------------------------------------------------
// The run.

struct Failure {
    std::string what;
};

class LongRun;

// One kind of user action, how often it comes in the mix (per thousand).
struct Action {
    const char* name;
    int weight;
    void (LongRun::*run)();
};

class LongRun {
public:
    LongRun(uint32_t seed) : random_(seed) {}

    // The run's own files go to `folder` (the data folder when empty).
    void setup_files(const std::string& folder)
    {
        std::string dir = folder.empty() ? data_dir() : windows_path(folder);
        CreateDirectoryA(dir.c_str(), nullptr);
        three_ = dir + "\\soak_three.bin";
        empty_ = dir + "\\soak_empty.bin";
        noise_ = dir + "\\soak_noise.bin";
        missing_ = dir + "\\soak no such file.bin";
        image_target_ = dir + "\\soak_view";
        binary_target_ = dir + "\\soak_range";
        write_file(three_, THREE_BYTES);
        write_file(empty_, {});
        std::vector<uint8_t> noise(200000);
        std::mt19937 fill(12345);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(fill());
        write_file(noise_, noise);
        DeleteFileA(missing_.c_str());
        DeleteFileA((image_target_ + ".jpg").c_str());
        DeleteFileA((binary_target_ + ".bin").c_str());
        files_ = {three_, empty_, noise_};
        if (file_exists(data_dir() + "\\font.psf")) files_.push_back(data_dir() + "\\font.psf");
    }

    void start()
    {
        if (auto started = viewer_.start(); !started) fail(std::string("start: ") + started.message());
        process_ = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE | SYNCHRONIZE, FALSE,
                               viewer_.process_id());
        if (!process_) fail("cannot open the viewer process: " + std::to_string(GetLastError()));
        marker_field_ = viewer_.field(OFFSET_SPIN);
        if (!marker_field_) fail("no offset field");
        log("start");
        open_file(files_.size() > 3 ? files_[3] : noise_);
        settle();
    }

    HANDLE process() const { return process_; }
    DWORD process_id() const { return viewer_.process_id(); }

    // One random action, then the check that the program is alive, has
    // handled it and shows a consistent state.
    void act(long long index)
    {
        index_ = index;
        const Action* chosen = &ACTIONS[0];
        if (only_) {
            chosen = only_;
        } else {
            int total = 0;
            for (const Action& action : ACTIONS) total += action.weight;
            int roll = pick(0, total - 1);
            while (roll >= chosen->weight) roll -= (chosen++)->weight;
        }
        (this->*chosen->run)();
        settle();
    }

    // Restricts the run to one kind of action; false for an unknown name.
    bool restrict_to(const std::string& name)
    {
        for (const Action& action : ACTIONS)
            if (name == action.name) only_ = &action;
        return only_ != nullptr;
    }

    static std::string action_names()
    {
        std::string names;
        for (const Action& action : ACTIONS) names += std::string(" ") + action.name;
        return names;
    }

    // Every box state against the model, and no dialog left open.
    void check_at_rest()
    {
        for (int box : BOXES)
            if (viewer_.checked(box) != boxes_[box])
                fail("check box " + std::to_string(box) + " is " + (boxes_[box] ? "off" : "on") +
                     ", expected the other way");
        if (HWND left = any_dialog())
            fail("a window stayed open: '" + text_of(left) + "' (" + class_of(left) + ")");
        if (!IsWindowEnabled(viewer_.main())) fail("the main window stayed disabled");
    }

    void finish()
    {
        log("quit");
        viewer_.menu(MENU_QUIT);
        auto code = viewer_.exit_code(HANG_MS);
        if (!code) fail("did not end after Quit");
        if (*code != 0) fail("ended with exit code " + std::to_string(*code) + " after Quit");
    }

    void print_log() const
    {
        std::printf("last actions:\n");
        for (const std::string& line : log_) std::printf("  %s\n", line.c_str());
    }

    [[noreturn]] void fail(const std::string& what)
    {
        throw Failure{what};
    }

private:
    static const Action ACTIONS[18];

    static constexpr int BOXES[4] = {GRID_BOX, MULTI_BOX, INVERT_BOX, ALIGN_BOX};
    static constexpr int SPINS[3] = {OFFSET_SPIN, GRID_X_SPIN, GRID_Y_SPIN};

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(int percent) { return pick(0, 99) < percent; }

    void log(const std::string& action)
    {
        std::string line = std::to_string(index_);
        line.insert(line.begin(), '#');
        line += ' ';
        line += action;
        log_.push_back(line);
        if (log_.size() > 20) log_.pop_front();
    }

    void alive(const char* during)
    {
        if (viewer_.exited()) {
            DWORD code = 0;
            GetExitCodeProcess(process_, &code);
            char text[32];
            std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(code));
            fail(std::string("the program ended during ") + during + " with exit code " + text);
        }
        if (!IsWindow(viewer_.main())) fail(std::string("the main window vanished during ") + during);
    }

    // Everything posted so far has been handled: a marker posted behind it to
    // the offset field (its text limit, which nothing else uses) must arrive.
    // Posted messages reach a thread in order and the program takes the next
    // one only once the events of the previous one are handled; modal loops
    // of dialogs dispatch it too.
    void sync(const char* during)
    {
        const WPARAM value = 0x20000 + (++marker_ & 0xFFFF);
        if (!PostMessageA(marker_field_, EM_SETLIMITTEXT, value, 0)) alive(during);
        const ULONGLONG limit = GetTickCount64() + HANG_MS;
        for (int round = 0;; ++round) {
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutA(marker_field_, EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, HANG_MS, &answer) &&
                answer == value)
                return;
            alive(during);
            if (GetTickCount64() > limit) fail(std::string("no answer for 15 s after ") + during);
            if (round > 2) Sleep(1);
        }
    }

    HWND wait_for(const char* class_name, const char* title)
    {
        HWND found = viewer_.wait_window(class_name, title);
        alive(title);
        if (!found) fail(std::string("no window '") + title + "' appeared");
        return found;
    }

    void wait_gone(HWND window, const char* what)
    {
        if (!wait_until([&] { return !IsWindow(window) || viewer_.exited(); }, HANG_MS))
            fail(std::string(what) + " stayed open");
        alive(what);
    }

    // A top-level window of the program other than the main window, visible
    // or not (a dialog exists before its loop first shows it).
    HWND any_dialog() const
    {
        struct Search {
            DWORD process;
            HWND main;
            HWND found;
        } search{viewer_.process_id(), viewer_.main(), nullptr};
        EnumWindows(
            [](HWND window, LPARAM parameter) -> BOOL {
                auto* s = reinterpret_cast<Search*>(parameter);
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process != s->process || window == s->main) return TRUE;
                const std::string name = class_of(window);
                if (name != "#32770" && name != "InputRequester") return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // The title against the gadgets: width from the width bar, the grid part
    // only with Grid on, the first byte shown from the row bar, the width and
    // the offset field (kept within the arrows' range), the zoom as chosen.
    void settle()
    {
        sync("the last action");
        const std::string title = viewer_.title();
        int width = 0, grid_x = 0, grid_y = 0, zoom = 0, used = 0;
        long long disp = 0;
        const bool grid = title.find(", grid:") != std::string::npos;
        int parsed = grid ? std::sscanf(title.c_str(), "Bitloupe, sprsize:%d, grid:%dx%d disp:%lld zoom:%d%n", &width,
                                        &grid_x, &grid_y, &disp, &zoom, &used)
                          : std::sscanf(title.c_str(), "Bitloupe, sprsize:%d disp:%lld zoom:%d%n", &width, &disp,
                                        &zoom, &used);
        if (parsed != (grid ? 5 : 3) || used != static_cast<int>(title.size())) fail("title '" + title + "'");
        if (grid != boxes_[GRID_BOX]) fail("title '" + title + "' with Grid " + (boxes_[GRID_BOX] ? "on" : "off"));
        if (grid && (grid_x < 1 || grid_x > 25 || grid_y < 1 || grid_y > 25))
            fail("title '" + title + "': grid size outside 1 to 25");
        if (zoom != zoom_) fail("title '" + title + "', zoom " + std::to_string(zoom_) + " chosen");
        const int bar = viewer_.scroll_position(WIDTH_BAR);
        if (width != bar || width < 1 || width > 80)
            fail("title '" + title + "', width bar at " + std::to_string(bar));
        const std::string offset_text = viewer_.field_text(OFFSET_SPIN);
        char* end = nullptr;
        const long long typed = std::strtoll(offset_text.c_str(), &end, 10);
        if (!offset_text.empty() && *end == '\0') {
            const LRESULT range = SendMessageA(offset_arrows(), UDM_GETRANGE, 0, 0);
            long long low = static_cast<short>(HIWORD(range)), high = static_cast<short>(LOWORD(range));
            if (low > high) std::swap(low, high);
            const long long offset = std::min(std::max(typed, low), high);
            const long long row = viewer_.scroll_position(ROW_BAR);
            if (disp != row * width + offset)
                fail("title '" + title + "', row " + std::to_string(row) + " offset '" + offset_text + "' (range " +
                     std::to_string(low) + ".." + std::to_string(high) + ")");
        }
    }

    HWND offset_arrows()
    {
        if (!offset_arrows_) offset_arrows_ = viewer_.gadget(OFFSET_SPIN, "msctls_updown32");
        if (!offset_arrows_) fail("no arrows at the offset field");
        return offset_arrows_;
    }

    // --- cheap actions ---------------------------------------------------

    void post_scroll(int bar, WORD code)
    {
        HWND handle = viewer_.gadget(bar, "ScrollBar");
        PostMessageA(GetParent(handle), bar == WIDTH_BAR ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(code, 0),
                     reinterpret_cast<LPARAM>(handle));
    }

    void scroll_row_line()
    {
        const bool forward = chance(60);
        const int steps = pick(1, 4);
        log(std::string("row ") + (forward ? "down" : "up") + " x" + std::to_string(steps));
        for (int i = 0; i < steps; ++i) viewer_.scroll_line(ROW_BAR, forward);
    }

    void scroll_row_page()
    {
        const bool forward = chance(60);
        log(std::string("row page ") + (forward ? "down" : "up"));
        post_scroll(ROW_BAR, forward ? SB_PAGEDOWN : SB_PAGEUP);
    }

    void scroll_row_thumb()
    {
        const int kind = pick(0, 9);
        const int position = kind == 0 ? 0 : kind == 1 ? pick(200000, 10000000) : kind == 2 ? -pick(1, 100) : pick(0, 200000);
        log("row thumb " + std::to_string(position));
        viewer_.scroll_to(ROW_BAR, position);
    }

    void scroll_width_line()
    {
        const bool forward = chance(55);
        const int steps = pick(1, 3);
        log(std::string("width ") + (forward ? "right" : "left") + " x" + std::to_string(steps));
        for (int i = 0; i < steps; ++i) viewer_.scroll_line(WIDTH_BAR, forward);
    }

    void scroll_width_page()
    {
        const bool forward = chance(50);
        log(std::string("width page ") + (forward ? "right" : "left"));
        post_scroll(WIDTH_BAR, forward ? SB_PAGEDOWN : SB_PAGEUP);
    }

    void scroll_width_thumb()
    {
        const int kind = pick(0, 9);
        const int position = kind == 0 ? 0 : kind == 1 ? pick(81, 1000) : pick(1, 80);
        log("width thumb " + std::to_string(position));
        viewer_.scroll_to(WIDTH_BAR, position);
    }

    void toggle_box()
    {
        const int box = BOXES[pick(0, 3)];
        log("toggle box " + std::to_string(box));
        viewer_.click(box);
        boxes_[box] = !boxes_[box];
        sync("a check box click");
        if (viewer_.checked(box) != boxes_[box]) fail("check box " + std::to_string(box) + " did not toggle");
    }

    std::string random_text()
    {
        static const char* const LETTERS = "abcxyzQ.,; e";
        std::string text;
        switch (pick(0, 7)) {
        case 0: text = std::to_string(pick(0, 9)); break;
        case 1: text = std::to_string(pick(0, 99)); break;
        case 2: text = "-" + std::to_string(pick(0, 120)); break;
        case 3: text = "+" + std::to_string(pick(0, 40)); break;
        case 4:  // a long number, sometimes beyond 32 and 64 bits
            for (int i = pick(8, 24); i > 0; --i) text += static_cast<char>('0' + pick(0, 9));
            if (chance(30)) text = "-" + text;
            break;
        case 5:
            for (int i = pick(1, 4); i > 0; --i) text += LETTERS[pick(0, 11)];
            break;
        case 6: text = std::to_string(pick(0, 30)) + LETTERS[pick(0, 11)] + std::to_string(pick(0, 9)); break;
        default: text = chance(50) ? "--" : "-"; break;
        }
        return text;
    }

    void type_into_spin()
    {
        const int spin = SPINS[pick(0, 2)];
        const bool select = chance(70);
        std::string text = random_text();
        const bool backspace = chance(10);
        log("type into " + std::to_string(spin) + (select ? " (all selected) '" : " '") + text + "'" +
            (backspace ? " + backspace" : ""));
        if (select)
            viewer_.select_all(spin);
        else
            PostMessageA(viewer_.field(spin), EM_SETSEL, 0x7FFF, 0x7FFF);
        for (char c : text) viewer_.type(spin, c);
        if (backspace) viewer_.type(spin, '\b');
    }

    void paste_into_spin()
    {
        const int spin = SPINS[pick(0, 2)];
        const std::string text = random_text();
        log("paste into " + std::to_string(spin) + " '" + text + "'");
        viewer_.paste(spin, text.c_str());
    }

    void arrows_of_spin()
    {
        const int spin = SPINS[pick(0, 2)];
        HWND arrows = viewer_.gadget(spin, "msctls_updown32");
        if (!arrows) fail("no arrows at spin " + std::to_string(spin));
        const bool up = chance(50);
        log(std::string("arrow ") + (up ? "up" : "down") + " at " + std::to_string(spin));
        // A click on the upper or the lower arrow.
        RECT area{};
        GetClientRect(arrows, &area);
        const LPARAM at = MAKELPARAM(area.right / 2, up ? area.bottom / 4 : area.bottom * 3 / 4);
        PostMessageA(arrows, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(arrows, WM_LBUTTONUP, 0, at);
    }

    void change_zoom()
    {
        static const int ZOOMS[3] = {1, 2, 8};
        static const int ITEMS[3] = {MENU_ZOOM_1, MENU_ZOOM_2, MENU_ZOOM_8};
        const int which = pick(0, 2);
        log("zoom x" + std::to_string(ZOOMS[which]));
        viewer_.menu(ITEMS[which]);
        zoom_ = ZOOMS[which];
    }

    // --- expensive actions -----------------------------------------------

    void open_file(const std::string& path)
    {
        log("open '" + path + "'");
        if (auto answered = viewer_.open(path); !answered) {
            alive("Open..");
            fail(answered.message());
        }
        loaded_ = path;
        sync("Open..");
        if (viewer_.scroll_position(ROW_BAR) != 0) fail("the row bar is not at 0 after loading");
        if (path != missing_ && viewer_.scroll_position(WIDTH_BAR) != 1) fail("the width is not 1 after loading");
        check_at_rest();
    }

    void open_known_file() { open_file(files_[static_cast<size_t>(pick(0, static_cast<int>(files_.size()) - 1))]); }
    void open_missing_file() { open_file(missing_); }

    void press_cancel(HWND dialog, const char* what)
    {
        PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        wait_gone(dialog, what);
    }

    void cancel_open()
    {
        log("Open.. cancelled");
        viewer_.menu(MENU_OPEN);
        press_cancel(wait_for("#32770", "Please choose file to load"), "the Open dialog");
        sync("a cancelled Open..");
        check_at_rest();
    }

    static uint64_t write_time(const std::string& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
        return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    }

    // Answers a save dialog with `target` (the program adds `extension`),
    // then the overwrite question when the file exists, and checks the file.
    void answer_save(const char* dialog_title, const std::string& target, const char* extension,
                     const char* question_title)
    {
        const std::string file = target + extension;
        if (chance(30)) DeleteFileA(file.c_str());
        const bool existed = file_exists(file);
        const uint64_t before = write_time(file);
        const bool yes = chance(60);
        if (auto answered = viewer_.answer_file_dialog(dialog_title, target); !answered) {
            alive(dialog_title);
            fail(answered.message());
        }
        if (existed) {
            log(std::string("  overwrite: ") + (yes ? "Yes" : "No"));
            const std::string text = viewer_.answer_message(question_title, yes ? IDYES : IDNO);
            alive(question_title);
            if (text != "Overwrite this file? " + file) fail("overwrite question: '" + text + "'");
        }
        sync(dialog_title);
        if (!existed || yes) {
            if (!wait_until([&] { return file_exists(file) && write_time(file) != before; }, HANG_MS))
                fail(file + " was not written");
        } else if (write_time(file) != before) {
            fail(file + " was replaced after No");
        }
    }

    void save_image()
    {
        log("Save image..");
        viewer_.menu(MENU_SAVE_IMAGE);
        wait_for("#32770", "Save jpg Image...");
        answer_save("Save jpg Image...", image_target_, ".jpg", "CanvasGadget");
        check_at_rest();
    }

    void cancel_save_image()
    {
        log("Save image.. cancelled");
        viewer_.menu(MENU_SAVE_IMAGE);
        press_cancel(wait_for("#32770", "Save jpg Image..."), "the Save image dialog");
        sync("a cancelled Save image..");
        check_at_rest();
    }

    bool has_data() const { return loaded_ != empty_ && loaded_ != missing_; }

    // The byte count requester: nullptr when the program said there is
    // nothing to save instead.
    HWND open_count_requester()
    {
        viewer_.menu(MENU_SAVE_BINARY);
        if (!has_data()) {
            const std::string text = viewer_.answer_message("Title", IDOK);
            alive("Save binary..");
            if (text != "1st load file!") fail("Save binary.. with nothing loaded: '" + text + "'");
            return nullptr;
        }
        HWND input = wait_for("InputRequester", "Title");
        HWND field = nullptr;
        if (!wait_until([&] { return (field = find_child(input, INPUT_FIELD, "Edit")) && text_of(field) == "0000"; },
                        HANG_MS))
            fail("the count requester shows '" + text_of(field) + "'");
        return input;
    }

    void save_binary()
    {
        // Counts with their known outcome (a save dialog or not) and some
        // whose value the program's number reading decides.
        struct Count {
            const char* text;
            int dialog;  // 1 yes, 0 no, -1 either
        };
        static const Count COUNTS[] = {{"3", 1},   {"4096", 1}, {"1", 1},   {"0", 0},   {"-5", 0},
                                       {"abc", 0}, {"", 0},     {"12abc", -1}, {"99999999999", -1},
                                       {"2147483647", 1}, {" 7", -1}, {"+9", -1}};
        const Count& count = COUNTS[pick(0, static_cast<int>(std::size(COUNTS)) - 1)];
        log(std::string("Save binary.. count '") + count.text + "'");
        HWND input = open_count_requester();
        if (!input) {
            sync("Save binary..");
            check_at_rest();
            return;
        }
        SendMessageA(find_child(input, INPUT_FIELD, "Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(count.text));
        PostMessageA(GetDlgItem(input, INPUT_OK), BM_CLICK, 0, 0);
        wait_gone(input, "the count requester");
        bool dialog = count.dialog == 1;
        if (count.dialog == -1) {
            sync("the count requester");
            sync("the count requester");
            dialog = any_dialog() != nullptr;
        }
        if (dialog) {
            wait_for("#32770", "Save binary file");
            if (chance(25)) {
                log("  save dialog cancelled");
                press_cancel(viewer_.top_level("#32770", "Save binary file"), "the Save binary dialog");
            } else {
                answer_save("Save binary file", binary_target_, ".bin", "save binary");
            }
        }
        sync("Save binary..");
        check_at_rest();
    }

    void save_binary_nothing_loaded_or_cancel()
    {
        const bool escape = chance(50);
        log(std::string("Save binary.. requester ") + (escape ? "Escape" : "closed"));
        HWND input = open_count_requester();
        if (input) {
            if (escape)
                PostMessageA(find_child(input, INPUT_FIELD, "Edit"), WM_KEYDOWN, VK_ESCAPE, 1);
            else
                PostMessageA(input, WM_CLOSE, 0, 0);
            wait_gone(input, "the count requester");
        }
        sync("Save binary..");
        check_at_rest();
    }

    const Action* only_ = nullptr;
    std::mt19937 random_;
    Viewer viewer_;
    HANDLE process_ = nullptr;
    HWND marker_field_ = nullptr;
    HWND offset_arrows_ = nullptr;
    uint32_t marker_ = 0;
    long long index_ = 0;
    std::deque<std::string> log_;
    int zoom_ = 1;
    bool boxes_[16] = {};
    std::vector<std::string> files_;
    std::string three_, empty_, noise_, missing_, image_target_, binary_target_;
    std::string loaded_;
};

// Cheap actions make most of the mix; loading and saving, which take tens of
// milliseconds each and open dialogs, come a few times per hundred.
const Action LongRun::ACTIONS[18] = {
    {"row-line", 130, &LongRun::scroll_row_line},
    {"row-page", 70, &LongRun::scroll_row_page},
    {"row-thumb", 60, &LongRun::scroll_row_thumb},
    {"width-line", 70, &LongRun::scroll_width_line},
    {"width-page", 30, &LongRun::scroll_width_page},
    {"width-thumb", 50, &LongRun::scroll_width_thumb},
    {"toggle", 150, &LongRun::toggle_box},
    {"type", 210, &LongRun::type_into_spin},
    {"paste", 50, &LongRun::paste_into_spin},
    {"zoom", 80, &LongRun::change_zoom},
    {"arrows", 60, &LongRun::arrows_of_spin},
    {"open", 6, &LongRun::open_known_file},
    {"open-missing", 3, &LongRun::open_missing_file},
    {"open-cancel", 4, &LongRun::cancel_open},
    {"save-image", 7, &LongRun::save_image},
    {"save-binary", 10, &LongRun::save_binary},
    {"count-cancel", 5, &LongRun::save_binary_nothing_loaded_or_cancel},
    {"save-image-cancel", 5, &LongRun::cancel_save_image},
};

void usage()
{
    std::printf("usage: long_run [--actions N] [--seed S] [--sample-every K] [--csv FILE] [--only ACTION]\n"
                "                [--dir FOLDER]\n"
                "actions:%s\n",
                LongRun::action_names().c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    long long actions = 100000;
    long long every = 1000;
    uint32_t seed = static_cast<uint32_t>(GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 16));
    std::string csv;
    std::string only;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        if (arg == "--actions") actions = std::atoll(argv[++i]);
        else if (arg == "--seed") seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--sample-every") every = std::atoll(argv[++i]);
        else if (arg == "--csv") csv = argv[++i];
        else if (arg == "--only") only = argv[++i];
        else if (arg == "--dir") folder = argv[++i];
        else {
            usage();
            return 2;
        }
    }
    if (actions < 1 || every < 1) {
        usage();
        return 2;
    }
    std::printf("long_run: seed %u, %lld actions%s%s, a sample every %lld\n", seed, actions,
                only.empty() ? "" : " of ", only.c_str(), every);
    std::fflush(stdout);

    FILE* table = nullptr;
    if (!csv.empty()) {
        table = std::fopen(csv.c_str(), "w");
        if (!table) {
            std::printf("cannot write %s\n", csv.c_str());
            return 2;
        }
        std::fprintf(table, "actions,seconds,gdi,user,handles,memory,dialog_keys,gdi_api,user_api,handles_api,private_usage\n");
    }

    LongRun run(seed);
    if (!only.empty() && !run.restrict_to(only)) {
        usage();
        return 2;
    }
    std::vector<Sample> samples;
    const ULONGLONG started = GetTickCount64();
    auto record = [&](long long done) {
        run.check_at_rest();
        Sample s = take_sample(run.process(), run.process_id(), done);
        const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
        if (samples.empty())
            std::printf("counters: GDI from %s, USER from %s, handles from %s, memory from %s\n", s.gdi_source,
                        s.user_source, s.handles_source, s.memory_source);
        std::printf("%8lld actions %7.1f s  gdi %5lld  user %4lld  handles %5lld (+%lld dialog keys)  memory %9lld  "
                    "(%.1f actions/s)\n",
                    done, seconds, s.gdi, s.user, s.handles, s.dialog_keys, s.memory, seconds > 0 ? done / seconds : 0.0);
        std::fflush(stdout);
        if (table) {
            std::fprintf(table, "%lld,%.1f,%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld\n", done, seconds, s.gdi,
                         s.user, s.handles, s.memory, s.dialog_keys, s.gdi_api, s.user_api, s.handles_api, s.private_usage);
            std::fflush(table);
        }
        samples.push_back(s);
    };

    try {
        run.setup_files(folder);
        run.start();
        record(0);
        for (long long done = 1; done <= actions; ++done) {
            run.act(done);
            if (done % every == 0 || done == actions) record(done);
        }
        run.finish();
    } catch (const Failure& failure) {
        std::printf("FAILED: %s (seed %u)\n", failure.what.c_str(), seed);
        run.print_log();
        if (table) std::fclose(table);
        return 1;
    }
    if (table) std::fclose(table);

    const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
    std::printf("%lld actions in %.1f s: %.1f actions/s\n", actions, seconds, actions / seconds);
    const Verdict verdict = judge(samples, actions);
    if (!verdict.decided) {
        std::printf("FAILED: too few samples after the warm-up to judge the counters (use more actions or a "
                    "smaller --sample-every)\n");
        return 1;
    }
    for (const std::string& failure : verdict.failures) std::printf("FAILED: %s (seed %u)\n", failure.c_str(), seed);
    if (!verdict.failures.empty()) return 1;
    std::printf("PASSED: GDI, USER, handles and memory flat after the warm-up\n");
    return 0;
}
