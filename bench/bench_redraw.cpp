// bench_redraw.cpp: the viewer's own redraw and load code paths under Wine.
//
//   bench_redraw.exe [BIG_FILE [RUNS]]
//
// Starts the runtime and the main window as the program does, with 1 MiB of
// data loaded, and measures redraw_view() (reading the gadgets, drawing into
// the canvas, the title, and the repaint that the message pump then does),
// next to render_view() alone on the same parameters. The floor of a redraw,
// taken in turns with it, is a bare copy of a 641 x 481 24-bit bitmap to the
// canvas window followed by the same pump. With BIG_FILE, also
// measures load_file() on it and prints "load_median_ns" for tools/bench.sh,
// which compares it with dd on the same file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

}  // namespace

int main(int argc, char** argv)
{
    const char* big = argc > 1 ? argv[1] : nullptr;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    g_viewer = ViewerState{};
    if (!init_main_heap()) return 1;
    start_runtime();
    g_viewer.sprsize = 1;
    g_viewer.zoom = 1;
    if (!open_main_window()) {
        std::fprintf(stderr, "bench_redraw: no main window\n");
        return 1;
    }

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

    if (big) {
        double load_ns = bench::measure(runs, [&] { load_file(big); });
        if (g_viewer.data_length <= 0) {
            std::fprintf(stderr, "bench_redraw: loading %s failed\n", big);
            return 1;
        }
        bench::report("load_file, 1 GiB (median)", load_ns / 1e6, "ms");
        // For scale: the same read into a fresh block, without the program.
        const int32_t size = g_viewer.data_length;
        double read_ns = bench::measure(runs, [&] {
            void* block = allocate_memory(size);
            if (block && open_file_for_reading(1, big)) {
                bench::keep(read_data(1, block, size));
                close_file(1);
            }
            free_memory(block);
        });
        bench::report("  open + read_data into a fresh block (median)", read_ns / 1e6, "ms");
        std::printf("load_median_ns %.0f\n", load_ns);
    }
    end_program(0);
}
