// fuzz_view.cpp: render_view against the reference drawing. The first bytes
// choose the view, the rest are the loaded data, copied into a block of
// exactly their size so that any read outside it is caught. Both pictures lie
// between guard bytes in rows with padding; any difference, or any change to
// a guard or padding byte, aborts.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drawing.h"
#include "heap.h"
#include "strings.h"
#include "view.h"

namespace {

constexpr size_t GUARD = 64;
constexpr uint8_t GUARD_BYTE = 0xA5;
constexpr uint8_t PAPER = 0x5A;
constexpr size_t HEADER = 12;

bool started()
{
    if (!init_main_heap()) return false;
    init_string_manager();
    init_drawing();
    return true;
}

struct Frame {
    explicit Frame(int32_t pitch) : pitch(pitch), memory(2 * GUARD + static_cast<size_t>(pitch) * VIEW_HEIGHT, PAPER)
    {
        std::memset(memory.data(), GUARD_BYTE, GUARD);
        std::memset(memory.data() + memory.size() - GUARD, GUARD_BYTE, GUARD);
    }
    uint8_t* pixels() { return memory.data() + GUARD; }
    void check_outside() const
    {
        for (size_t i = 0; i < memory.size(); ++i) {
            const bool guard = i < GUARD || i >= memory.size() - GUARD;
            if (guard ? memory[i] != GUARD_BYTE
                      : (i - GUARD) % pitch >= static_cast<size_t>(VIEW_WIDTH * 3) && memory[i] != PAPER)
                std::abort();
        }
    }
    int32_t pitch;
    std::vector<uint8_t> memory;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    static const bool ready = started();
    if (!ready || size < HEADER) return 0;
    static const int32_t zooms[4] = {1, 2, 8, 1};
    ViewParameters view{};
    view.sprsize = input[0] % 80 + 1;
    view.zoom = zooms[input[1] & 3];
    view.grid_x = input[2] % 25 + 1;
    view.grid_y = input[3] % 25 + 1;
    view.grid = input[4] & 1;
    view.multi_columns = input[4] & 2;
    view.invert = input[4] & 4;
    view.align_to_grid = input[4] & 8;
    const bool loaded = !(input[4] & 16);
    // A signed 48-bit start, or one near the ends of the 64-bit range.
    int64_t start = 0;
    for (int i = 0; i < 6; ++i) start = start << 8 | input[5 + i];
    start -= int64_t{1} << 47;
    if (input[4] & 32) start = input[4] & 64 ? INT64_MAX - (start & 0xFFFFFF) : INT64_MIN + (start & 0xFFFFFF);
    view.start_position = start;
    const int32_t pitch = 1924 + 4 * (input[11] % 4);

    const size_t length = size - HEADER;
    uint8_t* block = length ? static_cast<uint8_t*>(std::malloc(length)) : nullptr;
    if (block) std::memcpy(block, input + HEADER, length);
    // Starts near the data are the interesting ones.
    if (block && !(input[4] & 32)) view.start_position = start % static_cast<int64_t>(length + 64);
    const ViewData data{loaded ? block : nullptr, loaded && block ? static_cast<int64_t>(length) : 0};

    Frame expected(pitch), actual(pitch);
    if (!start_drawing(memory_output(expected.pixels(), VIEW_WIDTH, VIEW_HEIGHT, pitch))) std::abort();
    render_view_reference(view, data);
    stop_drawing();
    render_view(view, data, actual.pixels(), pitch);

    expected.check_outside();
    actual.check_outside();
    if (expected.memory != actual.memory) std::abort();
    std::free(block);
    return 0;
}
