// bench_strings.cpp: time of building the window title on the string stack
// and storing it into its variable, as the program does after every change.
// The floor, taken in turns with it, is std::snprintf of the same title into
// a fixed buffer.
#include <cstdint>
#include <cstdio>

#include "bench.h"
#include "heap.h"
#include "strings.h"

namespace {

constexpr int kIterations = 20000;
constexpr int kRuns = 51;

void build_title(StringVar* title, int32_t sprite_size, int32_t display, int32_t zoom)
{
    int32_t start = string_position();
    append_string("Bitloupe, sprsize:");
    long_to_text(sprite_size, string_position());
    append_string(" disp:");
    long_to_text(display, string_position());
    append_string(" zoom:");
    long_to_text(zoom, string_position());
    store_string(title, start);
}

}  // namespace

int main()
{
    if (!init_main_heap()) return 1;
    init_string_manager();

    StringVar title = nullptr;
    // The first title grows the stack and allocates the variable; the
    // measurement is of the steady state that follows.
    build_title(&title, 16, 0, 4);

    int32_t counter = 0;
    char buffer[64];
    const bench::PairMedians medians = bench::measure_pair(
        kRuns,
        [&] {
            for (int i = 0; i < kIterations; ++i) {
                ++counter;
                build_title(&title, 16 + (counter & 63), counter, 1 + (counter & 7));
                bench::keep(title);
            }
        },
        [&] {
            for (int i = 0; i < kIterations; ++i) {
                ++counter;
                std::snprintf(buffer, sizeof(buffer), "Bitloupe, sprsize:%d disp:%d zoom:%d",
                              static_cast<int>(16 + (counter & 63)), static_cast<int>(counter),
                              static_cast<int>(1 + (counter & 7)));
                bench::keep(buffer);
            }
        });
    bench::report("title expression (median per build)", medians.body / kIterations, "ns");
    bench::report("snprintf of the same title (median per build)", medians.floor / kIterations, "ns");
    free_string(title);
    return 0;
}
