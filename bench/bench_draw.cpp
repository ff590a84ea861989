// bench_draw.cpp: the cost of one redraw of the view, as the viewer draws it:
// one 1 x 1 box per bit of a 640 x 481 picture (colours changing as the bits
// do) and a grid line on every row and column, into a 641 x 481 24-bit output.
// The baseline is a memset of the same pixel memory.
#include <cstdlib>
#include <cstring>

#include "bench.h"
#include "drawing.h"
#include "heap.h"

namespace {

constexpr int32_t WIDTH = 641;
constexpr int32_t HEIGHT = 481;
constexpr int32_t BITS_WIDE = 640;
constexpr int RUNS = 50;

void redraw(const uint8_t* bits)
{
    int index = 0;
    for (int32_t y = 0; y < HEIGHT; ++y)
        for (int32_t x = 0; x < BITS_WIDE; ++x, ++index)
            draw_box(x, y, 1, 1, 0xFFFFFF & -((bits[index >> 3] >> (index & 7)) & 1));
    const int32_t red = rgb(255, 0, 0);
    for (int32_t y = 0; y < HEIGHT; ++y) draw_line(0, y, WIDTH - 1, y, red);
    for (int32_t x = 0; x < WIDTH; ++x) draw_line(x, 0, x, HEIGHT - 1, red);
}

}  // namespace

int main()
{
    if (!init_main_heap()) return 1;
    init_drawing();
    const int32_t pitch = row_pitch(WIDTH, 24);
    const size_t size = static_cast<size_t>(pitch) * HEIGHT;
    auto* pixels = static_cast<uint8_t*>(std::malloc(size));
    // A fixed pseudo-random bit pattern, as the bytes of a file would give.
    const int bit_bytes = (BITS_WIDE * HEIGHT + 7) / 8;
    auto* bits = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bit_bytes)));
    if (!pixels || !bits) return 1;
    uint32_t state = 12345;
    for (int i = 0; i < bit_bytes; ++i) {
        state = state * 1664525u + 1013904223u;
        bits[i] = static_cast<uint8_t>(state >> 24);
    }
    std::memset(pixels, 0, size);

    if (!start_drawing(memory_output(pixels, WIDTH, HEIGHT, pitch))) return 1;

    double draw = bench::measure(RUNS, [&] {
        redraw(bits);
        bench::keep(pixels[0]);
    });
    int fill = 0;
    double baseline = bench::measure(RUNS, [&] {
        std::memset(pixels, ++fill & 0xFF, size);
        bench::keep(pixels[0]);
    });
    stop_drawing();

    bench::report("redraw: 307,840 boxes + 1,122 grid lines", draw / 1e3, "us");
    bench::report("memset of the same pixel memory", baseline / 1e3, "us");
    bench::report("ratio redraw / memset", draw / baseline, "x");
    std::free(bits);
    std::free(pixels);
    return 0;
}
