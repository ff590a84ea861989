// fuzz_layout.cpp: decode_layout_row and decode_layout_piece (tiles) against
// the pixel-by-pixel reference.
// The first bytes choose a small layout (so that each input runs fast), the
// rest is the file, copied into a block of exactly its size; every row's
// bytes are fetched as the command line fetches them. Any difference in a
// pixel, the past-end count or the row padding aborts.
#include <cstdlib>
#include <cstring>

#include "engine/layout_reference.h"
#include "layout.h"

namespace {
constexpr size_t HEADER = 6;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < HEADER) return 0;
    BitLayout layout{};
    layout.width_bits = input[0] % 40 + 1;
    layout.vertical = input[4] & 2;
    // Half the time the default stride, else any from 1 to 96.
    layout.stride_bits = input[1] & 0x80 ? input[1] % 96 + 1 : default_stride(layout.width_bits, layout.vertical);
    layout.start_bit = input[2];
    layout.rows = input[3] % 48 + 1;
    layout.lsb = input[4] & 1;
    layout.bottom_up = input[4] & 4;
    layout.invert = input[4] & 8;
    // Half the time tiles: cells of up to 12 x 12, one to four to a row.
    if (input[5] & 1) {
        layout.tile_width = input[0] % 12 + 1;
        layout.tile_height = input[5] / 2 % 12 + 1;
        layout.tiles_per_row = input[5] / 32 % 4 + 1;
        layout.width_bits = layout.tile_width * layout.tiles_per_row;
        if (!(input[1] & 0x80)) layout.stride_bits = default_stride(layout.tile_width, layout.vertical);
    }
    if (!layout_valid(layout)) std::abort();

    const size_t length = size - HEADER;
    uint8_t* file = length ? static_cast<uint8_t*>(std::malloc(length)) : nullptr;
    if (file) std::memcpy(file, input + HEADER, length);
    const LayoutPicture expected = reference_picture(layout, file, static_cast<int64_t>(length));
    const LayoutPicture actual = engine_picture(layout, file, static_cast<int64_t>(length));
    if (!(actual == expected)) std::abort();
    std::free(file);
    return 0;
}
