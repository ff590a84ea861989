// bench_redraw.cpp: the viewer's own redraw and load code paths under Wine.
//
//   bench_redraw.exe              the redraw figures
//   bench_redraw.exe --load FILE  one load_file() of FILE, as "load_ns N"
//
// Both start the runtime and the main window as the program does. The first
// loads 1 MiB of data and measures redraw_view() (reading the gadgets,
// drawing into the canvas, the title, and the repaint that the message pump
// then does), next to render_view() alone on the same parameters. The floor
// of a redraw, taken in turns with it, is a bare copy of a 641 x 481 24-bit
// bitmap to the canvas window followed by the same pump.
//
// The second times a single load, as a user's first load after start-up.
// tools/bench.sh runs it once per sample, in turns with dd of the same file
// (a process of its own, which a program under Wine cannot start), so that
// both see the same load of the machine and the same state of its memory.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench.h"
#include "bench_screen.h"
#include "canvas.h"
#include "drawing.h"
#include "drop.h"
#include "events.h"
#include "gadget.h"
#include "files.h"
#include "heap.h"
#include "images.h"
#include "memory.h"
#include "menus.h"
#include "requesters.h"
#include "save.h"
#include "standard_gadgets.h"
#include "strings.h"
#include "viewer.h"
#include "window.h"

ViewerState g_viewer;

void end_program(int32_t exit_code)
{
    if (exit_code != 0) std::fprintf(stderr, "bench_redraw: the program ended with %d\n", exit_code);
    std::fflush(stdout);
    ExitProcess(static_cast<UINT>(exit_code));
}

namespace {

constexpr int32_t kDataBytes = 1 << 20;
constexpr int kRedraws = 50;

// One redraw as an event handler does it, then the pump that repaints; and
// its floor, the copy of the same size to the canvas window and the pump.
bench::PairMedians measure_redraw(const bench::ScreenCopy& copy)
{
    HWND canvas = gadget_handle(GADGET_CANVAS);
    return bench::measure_pair(
        kRedraws,
        [] {
            redraw_view();
            flush_native_messages();
        },
        [&] {
            copy.copy_to(canvas);
            flush_native_messages();
        });
}

double measure_render(const ViewParameters& view)
{
    const int32_t pitch = (VIEW_WIDTH * 3 + 3) & ~3;
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * VIEW_HEIGHT);
    ViewData data{g_viewer.data, g_viewer.data_length};
    double ns = bench::measure(kRedraws, [&] { render_view(view, data, pixels.data(), pitch); });
    bench::keep(pixels[pixels.size() / 2]);
    return ns;
}

void report_case(const char* redraw_name, const char* floor_name, const char* render_name, const ViewParameters& view,
                 const bench::ScreenCopy& copy)
{
    flush_native_messages();
    const bench::PairMedians redraw = measure_redraw(copy);
    const double redraw_ns = redraw.body;
    double render_ns = measure_render(view);
    bench::report(redraw_name, redraw_ns / 1e6, "ms");
    bench::report(floor_name, redraw.floor / 1e6, "ms");
    bench::report(render_name, render_ns / 1e6, "ms");
    bench::report("  render_view share of redraw_view", 100.0 * render_ns / redraw_ns, "%");
}

// One load of `path`, timed, printed as "load_ns N" for tools/bench.sh.
// Fails when the load did not bring the whole file (up to the program's cap)
// into memory: a short load would be a figure of something else.
int measure_load(const char* path)
{
    const int64_t size = file_size(path);
    if (size <= 0) {
        std::fprintf(stderr, "bench_redraw: no file %s\n", path);
        return 1;
    }
    LoadResult result = LoadResult::nothing_loaded;
    const double load_ns = bench::measure(1, [&] { result = load_file(path); });
    const int64_t expected = size < MAX_DATA_LENGTH ? size : MAX_DATA_LENGTH;
    if (result != LoadResult::loaded || g_viewer.data_length != expected) {
        std::fprintf(stderr, "bench_redraw: loading %s gave %d of %lld bytes\n", path,
                     static_cast<int>(g_viewer.data_length), static_cast<long long>(expected));
        return 1;
    }
    std::printf("load_ns %.0f\n", load_ns);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool load_only = argc == 3 && std::strcmp(argv[1], "--load") == 0;
    if (argc > 1 && !load_only) {
        std::fprintf(stderr, "usage: bench_redraw.exe [--load FILE]\n");
        return 2;
    }
    g_viewer = ViewerState{};
    if (!init_main_heap()) return 1;
    start_runtime();
    g_viewer.sprsize = 1;
    g_viewer.zoom = 1;
    if (!open_main_window()) {
        std::fprintf(stderr, "bench_redraw: no main window\n");
        return 1;
    }
    if (load_only) return measure_load(argv[2]);

    g_viewer.data = static_cast<uint8_t*>(allocate_memory(kDataBytes));
    if (!g_viewer.data) return 1;
    g_viewer.data_length = kDataBytes;
    for (int32_t i = 0; i < kDataBytes; ++i) g_viewer.data[i] = static_cast<uint8_t>(i * 37 + (i >> 9));
    set_gadget_state(GADGET_WIDTH, 1);
    set_gadget_state(GADGET_MULTI_COLUMNS, 1);
    redraw_view();

    const bench::ScreenCopy copy(VIEW_WIDTH, VIEW_HEIGHT);
    if (!copy.ready()) {
        std::fprintf(stderr, "bench_redraw: no bitmap for the floor\n");
        return 1;
    }
    ViewParameters view{1, 1, DEFAULT_GRID_SIZE, DEFAULT_GRID_SIZE, false, true, false, false, 0};
    report_case("redraw_view, 1 MiB, MultiColumns (median)",
                "  floor: 641x481 copy to the canvas + pump (1)", "render_view, same parameters (median)", view, copy);

    set_gadget_state(GADGET_ALIGN_TO_GRID, 1);
    set_gadget_state(GADGET_GRID_Y, 2);
    view.align_to_grid = true;
    view.grid_y = 2;
    report_case("redraw_view, + Align to grid, grid Y 2 (median)",
                "  floor: 641x481 copy to the canvas + pump (2)", "render_view, same parameters (median)", view, copy);

    end_program(0);
}
