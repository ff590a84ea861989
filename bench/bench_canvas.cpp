// bench_canvas.cpp: one full cycle of the view's canvas work on a shown
// 641 x 481 canvas: start drawing on the canvas output, fill 307,840 boxes
// of 1 x 1, stop drawing (which repaints the canvas). Prints the median of
// the cycle and of the repaint alone, and the repaint's share. The floor of
// the cycle, taken in turns with it, is a bare copy of a bitmap of the
// buffer's size and depth to the canvas window.
#include <windows.h>

#include "bench.h"
#include "bench_screen.h"
#include "canvas.h"
#include "drawing.h"
#include "events.h"
#include "gadget.h"
#include "heap.h"
#include "images.h"
#include "strings.h"
#include "window.h"

namespace {

constexpr int32_t WIDTH = 641;
constexpr int32_t HEIGHT = 481;
constexpr int32_t BOXES = 307840;
constexpr int RUNS = 61;

void fill_boxes(int32_t round)
{
    int32_t drawn = 0;
    for (int32_t y = 0; y < HEIGHT && drawn < BOXES; ++y)
        for (int32_t x = 0; x < WIDTH && drawn < BOXES; ++x, ++drawn)
            draw_box(x, y, 1, 1, ((x ^ y ^ round) & 1) ? 0xFFFFFF : 0);
}

void pump()
{
    while (wait_event_timeout(0)) {
    }
}

}  // namespace

int main()
{
    if (!init_main_heap()) return 1;
    init_string_manager();
    init_graphics_helpers();
    init_images();
    init_drawing();
    init_event_queue();
    init_window_library();
    init_gadgets();
    if (!open_window(0, 0, 0, 660, 600, "bench", WS_CAPTION | WS_SYSMENU)) return 1;
    if (!create_canvas_gadget(0, 0, 0, WIDTH, HEIGHT)) return 1;
    pump();

    const bench::ScreenCopy copy(WIDTH, HEIGHT);
    if (!copy.ready()) return 1;
    HWND canvas = gadget_handle(0);
    int32_t round = 0;
    const bench::PairMedians cycle_and_copy = bench::measure_pair(
        RUNS,
        [&] {
            start_drawing(canvas_output(0));
            fill_boxes(++round);
            stop_drawing();
        },
        [&] { copy.copy_to(canvas); });
    const double cycle = cycle_and_copy.body;
    pump();
    const double drawing_only = bench::measure(RUNS, [&] {
        DrawingContext* output = canvas_output(0);
        start_drawing(output);
        fill_boxes(++round);
        // Without the release's repaint: the drawing is ended by hand.
        output->release = nullptr;
        DeleteDC(static_cast<HDC>(output->memory_dc));
        GdiSetBatchLimit(static_cast<DWORD>(output->saved_batch_limit));
        stop_drawing();
    });
    pump();
    const double repaint = bench::measure(RUNS, [&] {
        // The repaint alone: an empty drawing whose stop repaints.
        start_drawing(canvas_output(0));
        stop_drawing();
    });
    bench::report("canvas cycle (start, 307,840 boxes, stop)", cycle / 1e6, "ms");
    bench::report("  floor: 641x481 copy to the canvas window", cycle_and_copy.floor / 1e6, "ms");
    bench::report("  of which drawing without repaint", drawing_only / 1e6, "ms");
    bench::report("  empty drawing with repaint", repaint / 1e6, "ms");
    bench::report("  repaint share of the cycle", 100.0 * (cycle - drawing_only) / cycle, "%");
    close_all_windows();
    return 0;
}
