// bench_view.cpp: render_view on the costliest layouts (MultiColumns, width 1,
// zoom 1: 80 columns of 481 one-byte rows, 307,840 bits; and the same with
// Align to grid at grid Y 2, whose columns run 961 rows, half of them below
// the canvas) over 1 MiB of pseudo-random data. The floor is the least any
// drawing of those bytes costs: each visible byte expanded into its 24 pixel
// bytes through a 256-entry table, into the same buffer. The reference drawing
// (a box per bit) is measured for scale.
#include <cstdlib>
#include <cstring>

#include "bench.h"
#include "drawing.h"
#include "heap.h"
#include "strings.h"
#include "view.h"

namespace {

constexpr int RUNS = 50;
constexpr int32_t COLUMNS = 80;
constexpr size_t DATA_SIZE = size_t{1} << 20;

}  // namespace

int main()
{
    if (!init_main_heap()) return 1;
    init_string_manager();
    init_drawing();
    const int32_t pitch = row_pitch(VIEW_WIDTH, 24);
    const size_t size = static_cast<size_t>(pitch) * VIEW_HEIGHT;
    auto* pixels = static_cast<uint8_t*>(std::malloc(size));
    auto* bytes = static_cast<uint8_t*>(std::malloc(DATA_SIZE));
    if (!pixels || !bytes) return 1;
    uint32_t state = 12345;
    for (size_t i = 0; i < DATA_SIZE; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>(state >> 24);
    }
    std::memset(pixels, 0, size);
    const ViewData data{bytes, static_cast<int64_t>(DATA_SIZE)};

    ViewParameters worst{1, 1, 8, 8, false, true, false, false, 4096};
    ViewParameters aligned = worst;
    aligned.align_to_grid = true;
    aligned.grid_y = 2;

    int64_t shift = 0;
    auto time_view = [&](ViewParameters view) {
        return bench::measure(RUNS, [&] {
            view.start_position = 4096 + (++shift & 1023);
            render_view(view, data, pixels, pitch);
            bench::keep(pixels[0]);
        });
    };
    const double fast = time_view(worst);
    const double fast_aligned = time_view(aligned);

    // The floor: the same 80 x 481 visible bytes, one table copy each.
    static uint8_t table[256][24];
    for (int v = 0; v < 256; ++v)
        for (int j = 0; j < 8; ++j) std::memset(table[v] + j * 3, (v & (0x80 >> j)) ? 255 : 0, 3);
    const double floor = bench::measure(RUNS, [&] {
        const uint8_t* from = bytes + 4096 + (++shift & 1023);
        for (int32_t y = 0; y < VIEW_HEIGHT; ++y) {
            uint8_t* row = pixels + static_cast<size_t>(y) * pitch + 3;
            for (int32_t k = 0; k < COLUMNS; ++k) std::memcpy(row + k * 24, table[from[k * VIEW_HEIGHT + y]], 24);
        }
        bench::keep(pixels[0]);
    });

    if (!start_drawing(memory_output(pixels, VIEW_WIDTH, VIEW_HEIGHT, pitch))) return 1;
    const double slow = bench::measure(RUNS, [&] {
        render_view_reference(worst, data);
        bench::keep(pixels[0]);
    });
    stop_drawing();

    bench::report("render_view, MultiColumns width 1 zoom 1", fast / 1e3, "us");
    bench::report("render_view, same with Align to grid Y 2", fast_aligned / 1e3, "us");
    bench::report("floor: 38,480 bytes through a 24-byte table", floor / 1e3, "us");
    bench::report("reference drawing, MultiColumns width 1 zoom 1", slow / 1e3, "us");
    bench::report("ratio render_view / floor", fast / floor, "x");
    bench::report("ratio aligned / floor", fast_aligned / floor, "x");
    bench::report("ratio reference / render_view", slow / fast, "x");
    std::free(bytes);
    std::free(pixels);
    return 0;
}
