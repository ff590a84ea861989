// fuzz_raster.cpp: random primitives, modes and transfers on a small output.
//
// The input chooses the output's size and pixel size, then a sequence of
// primitives with coordinates that include the int32 extremes. The output
// lies between guard bytes, or alone in a heap block of its exact size; any
// change to a guard or a row's padding bytes aborts. Sources of transfers are
// allocated to their exact size so that the sanitizer sees any read beyond
// them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drawing.h"
#include "heap.h"
#include "strings.h"

namespace {

constexpr size_t GUARD = 64;
constexpr uint8_t GUARD_BYTE = 0xA5;
constexpr uint8_t PADDING_BYTE = 0x5C;

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return position_ >= size_; }
    uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    int32_t word()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | byte();
        return static_cast<int32_t>(value);
    }
    // Mostly values around a 64-pixel output, sometimes the extremes.
    int32_t coordinate()
    {
        const uint8_t choice = byte();
        switch (choice & 7) {
        case 0: return INT32_MIN;
        case 1: return INT32_MAX;
        case 2: return word();
        case 3: return static_cast<int32_t>(byte()) * 1000 - 128000;
        default: return static_cast<int32_t>(choice >> 3) * 3 - 16;
        }
    }
    int32_t colour() { return byte() & 1 ? word() : rgb(byte(), byte(), byte()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

float g_gradient_position = 0.5f;

float input_gradient(int32_t, int32_t)
{
    return g_gradient_position;
}

int32_t inverting_filter(int32_t x, int32_t y, int32_t front, int32_t pixel)
{
    return (x ^ y) & 1 ? ~pixel : front;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        init_main_heap();
        init_string_manager();
        init_drawing();
        return true;
    }();
    (void)ready;

    Input in(data, size);
    const int32_t width = 1 + in.byte() % 64, height = 1 + in.byte() % 64;
    const uint8_t flags = in.byte();
    const bool four = flags & 1;
    // Either guard bytes around the pixels, or a heap block that ends exactly
    // at the last pixel byte for the sanitizer to watch.
    const bool guarded = flags & 2;
    const int32_t bpp = four ? 4 : 3, pitch = row_pitch(width, bpp * 8);
    const size_t guard = guarded ? GUARD : 0;
    std::vector<uint8_t> memory(2 * guard + static_cast<size_t>(pitch) * height, GUARD_BYTE);
    uint8_t* pixels = memory.data() + guard;
    for (int32_t row = 0; row < height; ++row)
        for (int32_t i = 0; i < pitch; ++i)
            pixels[row * pitch + i] = i < width * bpp ? static_cast<uint8_t>(row * 31 + i) : PADDING_BYTE;

    DrawingContext* ctx = memory_output(pixels, width, height, pitch, four ? PIXEL_BGRA32 : PIXEL_BGR24);
    if (!ctx) return 0;
    if (!start_drawing(ctx)) abort();

    for (int steps = 0; !in.empty() && steps < 64; ++steps) {
        switch (in.byte() % 12) {
        case 0: {
            int32_t x = in.coordinate(), y = in.coordinate(), w = in.coordinate(), h = in.coordinate();
            draw_box(x, y, w, h, in.colour());
            break;
        }
        case 1: {
            int32_t x1 = in.coordinate(), y1 = in.coordinate(), x2 = in.coordinate(), y2 = in.coordinate();
            draw_line(x1, y1, x2, y2, in.colour());
            break;
        }
        case 2: {
            int32_t x = in.coordinate(), y = in.coordinate(), w = in.coordinate(), h = in.coordinate();
            int32_t rx = in.coordinate(), ry = in.coordinate();
            round_box(x, y, w, h, rx, ry, in.colour());
            break;
        }
        case 3: {
            int32_t x = in.coordinate(), y = in.coordinate(), rx = in.coordinate(), ry = in.coordinate();
            ellipse(x, y, rx, ry, in.colour());
            break;
        }
        case 4: {
            int32_t x = in.coordinate(), y = in.coordinate(), colour = in.colour();
            fill_area(x, y, colour, in.byte() & 1 ? -1 : in.colour());
            break;
        }
        case 5: {
            int32_t x = in.coordinate(), y = in.coordinate();
            plot(x, y, in.colour());
            (void)read_pixel(in.coordinate(), in.coordinate());
            break;
        }
        case 6: {
            const int32_t sw = 1 + in.byte() % 8, sh = 1 + in.byte() % 8, sbpp = in.byte() & 1 ? 4 : 3;
            const int32_t spitch = sw * sbpp + in.byte() % 4;
            std::vector<uint8_t> source(static_cast<size_t>(spitch) * sh);
            for (uint8_t& b : source) b = in.byte();
            int32_t x = in.coordinate(), y = in.coordinate();
            const int32_t alpha = in.byte() & 1 ? 255 : in.byte();
            transfer_pixels(ctx, source.data(), sw, sh, spitch, sbpp, x, y, alpha, in.byte() & 1);
            break;
        }
        case 7: {
            const int32_t low = in.byte();
            set_mode(low | (in.byte() & 1) << 8);
            break;
        }
        case 8: set_front_colour(in.colour()); break;
        case 9: set_back_colour(in.colour()); break;
        case 10: {
            // A gradient stop at any position, NaN and infinities included.
            auto* stop = static_cast<GradientStop*>(main_alloc(sizeof(GradientStop)));
            if (!stop) break;
            const uint32_t bits = static_cast<uint32_t>(in.word());
            std::memcpy(&stop->position, &bits, sizeof(float));
            stop->colour = in.colour();
            stop->next = ctx->gradient_stops;
            ctx->gradient_stops = stop;
            break;
        }
        case 11: {
            const uint32_t bits = static_cast<uint32_t>(in.word());
            std::memcpy(&g_gradient_position, &bits, sizeof(float));
            ctx->gradient_callback = input_gradient;
            ctx->filter_callback = inverting_filter;
            ctx->gradient_front_colour = in.colour();
            ctx->gradient_back_colour = in.colour();
            break;
        }
        }
        for (size_t i = 0; i < guard; ++i)
            if (memory[i] != GUARD_BYTE || memory[memory.size() - 1 - i] != GUARD_BYTE) abort();
        for (int32_t row = 0; row < height; ++row)
            for (int32_t i = width * bpp; i < pitch; ++i)
                if (pixels[row * pitch + i] != PADDING_BYTE) abort();
    }
    stop_drawing();
    if (current_context()) abort();
    return 0;
}
