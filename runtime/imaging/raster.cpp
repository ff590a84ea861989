// raster.cpp: the drawing context and the software rasteriser behind it.
//
// Every primitive clips its coordinates (in 64-bit arithmetic, so that no
// int32 argument can overflow) and then writes straight into the output's
// pixel memory. The default mode on 3-byte pixels has its own paths because
// the view is drawn as hundreds of thousands of tiny boxes; every other mode
// goes through one general pixel write that the spans, lines and transfers
// share.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "drawing.h"
#include "heap.h"
#include "pool.h"
#include "raster_internal.h"

namespace {

DrawingContext* g_current = nullptr;

// Mode flags whose reading of a 4-byte pixel includes its alpha byte.
constexpr int32_t READS_ALPHA = DRAW_ALPHA_ONLY | DRAW_BLEND | DRAW_BLEND_KEEP_ALPHA | DRAW_FILTER | DRAW_ARGB;

float full_gradient(int32_t, int32_t)
{
    return 1.0f;
}

int32_t unchanged_pixel(int32_t, int32_t, int32_t, int32_t pixel_colour)
{
    return pixel_colour;
}

int32_t channel(int32_t colour, int shift)
{
    return static_cast<int32_t>((static_cast<uint32_t>(colour) >> shift) & 0xFF);
}

// A colour taken apart the way the pixel writes use it.
struct Paint {
    int32_t red, green, blue;  // multiplied by alpha when the context premultiplies
    int32_t alpha, inverse_alpha;
    int32_t colour;            // the colour value it came from
};

// Pixel (x, y) of a bottom-up bitmap; x and y must lie inside the output.
inline uint8_t* pixel_address(const DrawingContext* ctx, int64_t x, int64_t y)
{
    return ctx->pixels + (int64_t{ctx->height} - 1 - y) * ctx->pitch + x * ctx->bytes_per_pixel;
}

int32_t gradient_colour(const DrawingContext* ctx, int32_t x, int32_t y);

Paint paint_of(const DrawingContext* ctx, int32_t colour)
{
    Paint paint;
    paint.colour = colour;
    paint.alpha = channel(colour, 24);
    paint.inverse_alpha = 255 - paint.alpha;
    paint.red = channel(colour, 0);
    paint.green = channel(colour, 8);
    paint.blue = channel(colour, 16);
    if (ctx->premultiply) {
        paint.red *= paint.alpha;
        paint.green *= paint.alpha;
        paint.blue *= paint.alpha;
    }
    return paint;
}

int32_t colour_at(const uint8_t* p, bool with_alpha)
{
    uint32_t colour = p[2] | (p[1] << 8) | (static_cast<uint32_t>(p[0]) << 16);
    if (with_alpha) colour |= static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(colour);
}

void write_pixel(DrawingContext* ctx, uint8_t* p, int32_t x, int32_t y, Paint paint)
{
    const bool four = ctx->bytes_per_pixel == 4;
    if (ctx->gradient_on) paint = paint_of(ctx, gradient_colour(ctx, x, y));
    if (ctx->filter_on) {
        FilterCallback filter = ctx->filter_callback ? ctx->filter_callback : unchanged_pixel;
        paint = paint_of(ctx, filter(x, y, paint.colour, colour_at(p, four)));
    }
    const int32_t mode = ctx->mode;
    if (mode & DRAW_ARGB) {
        p[0] = static_cast<uint8_t>(paint.blue);
        p[1] = static_cast<uint8_t>(paint.green);
        p[2] = static_cast<uint8_t>(paint.red);
        if (four) p[3] = static_cast<uint8_t>(paint.alpha);
    } else if (mode & DRAW_ALPHA_ONLY) {
        if (four) p[3] = static_cast<uint8_t>(paint.alpha);
    } else if (mode & DRAW_XOR) {
        p[0] ^= static_cast<uint8_t>(paint.blue);
        p[1] ^= static_cast<uint8_t>(paint.green);
        p[2] ^= static_cast<uint8_t>(paint.red);
    } else if (mode & (DRAW_BLEND | DRAW_BLEND_KEEP_ALPHA)) {
        // Premultiplied components already carry the alpha; the others get it here.
        const int32_t weight = ctx->premultiply ? 1 : paint.alpha;
        const int32_t keep = paint.inverse_alpha;
        p[0] = static_cast<uint8_t>((p[0] * keep + paint.blue * weight) / 255);
        p[1] = static_cast<uint8_t>((p[1] * keep + paint.green * weight) / 255);
        p[2] = static_cast<uint8_t>((p[2] * keep + paint.red * weight) / 255);
        if (four && !(mode & DRAW_BLEND_KEEP_ALPHA))
            p[3] = static_cast<uint8_t>((keep * p[3] + 255 * paint.alpha) / 255);
    } else {
        p[0] = static_cast<uint8_t>(paint.blue);
        p[1] = static_cast<uint8_t>(paint.green);
        p[2] = static_cast<uint8_t>(paint.red);
    }
}

// The front colour's parts as the primitives use them. The wrappers, and the
// fast path of draw_box above all, record only the colour value; the parts are
// worked out (and stored) here, once per primitive.
Paint front_paint(DrawingContext* ctx)
{
    const Paint paint = paint_of(ctx, ctx->front_colour);
    ctx->front_red = paint.red;
    ctx->front_green = paint.green;
    ctx->front_blue = paint.blue;
    ctx->front_alpha = paint.alpha;
    ctx->front_inverse_alpha = paint.inverse_alpha;
    return paint;
}

void apply_front(DrawingContext* ctx, int32_t colour)
{
    ctx->front_colour = colour;
    front_paint(ctx);
}

void apply_back(DrawingContext* ctx, int32_t colour)
{
    ctx->back_colour = colour;
    Paint paint = paint_of(ctx, colour);
    ctx->back_red = paint.red;
    ctx->back_green = paint.green;
    ctx->back_blue = paint.blue;
    ctx->back_alpha = paint.alpha;
    ctx->back_inverse_alpha = paint.inverse_alpha;
}

void raster_set_front_colour(DrawingContext* ctx, int32_t colour)
{
    apply_front(ctx, colour);
}

void raster_set_back_colour(DrawingContext* ctx, int32_t colour)
{
    apply_back(ctx, colour);
}

// The colour interpolated from the gradient's back colour (position 0) over
// the stops to its front colour (position 1).
int32_t gradient_colour(const DrawingContext* ctx, int32_t x, int32_t y)
{
    float position = ctx->gradient_callback ? ctx->gradient_callback(x, y) : 1.0f;
    if (!(position >= 0.0f)) position = 0.0f;  // also catches NaN
    if (position > 1.0f) position = 1.0f;
    float low_position = 0.0f, high_position = 1.0f;
    int32_t low = ctx->gradient_back_colour, high = ctx->gradient_front_colour;
    for (const GradientStop* stop = ctx->gradient_stops; stop; stop = stop->next) {
        float at = stop->position;
        if (!(at >= 0.0f && at <= 1.0f)) continue;
        if (at <= position && at >= low_position) {
            low_position = at;
            low = stop->colour;
        }
        if (at >= position && at <= high_position) {
            high_position = at;
            high = stop->colour;
        }
    }
    float share = high_position > low_position ? (position - low_position) / (high_position - low_position) : 0.0f;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int32_t from = channel(low, shift), to = channel(high, shift);
        auto mixed = static_cast<int32_t>(static_cast<float>(from) + static_cast<float>(to - from) * share + 0.5f);
        if (mixed < 0) mixed = 0;
        if (mixed > 255) mixed = 255;
        result |= static_cast<uint32_t>(mixed) << shift;
    }
    return static_cast<int32_t>(result);
}

// --- Spans -------------------------------------------------------------------

// Writes one colour into `count` 3-byte pixels. Longer spans store whole
// groups of four pixels (12 bytes) at a time.
inline void span_copy3(uint8_t* p, int64_t count, uint8_t blue, uint8_t green, uint8_t red)
{
    if (count >= 8) {
        // Four pixels are 12 bytes: blue green red blue | green red blue green | red ...
        static_assert(std::endian::native == std::endian::little);
        const uint32_t pixel = blue | (green << 8) | (red << 16);
        const uint64_t first = (pixel | (pixel << 24)) | (uint64_t{(pixel >> 8) | (pixel << 16)} << 32);
        const uint32_t last = (pixel >> 16) | (pixel << 8);
        for (; count >= 4; count -= 4, p += 12) {
            std::memcpy(p, &first, 8);
            std::memcpy(p + 8, &last, 4);
        }
    }
    const uint8_t pair[2] = {blue, green};
    for (; count > 0; --count, p += 3) {
        std::memcpy(p, pair, 2);
        p[2] = red;
    }
}

// The same on 4-byte pixels, whose alpha byte is left as it was.
inline void span_copy4(uint8_t* p, int64_t count, uint8_t blue, uint8_t green, uint8_t red)
{
    for (; count > 0; --count, p += 4) {
        p[0] = blue;
        p[1] = green;
        p[2] = red;
    }
}

// `count` pixels of row y from column x in the front colour; already clipped.
void fill_row(DrawingContext* ctx, int64_t x, int64_t y, int64_t count)
{
    uint8_t* p = pixel_address(ctx, x, y);
    if ((ctx->mode & ~DRAW_OUTLINE) == DRAW_COPY) {
        const Paint paint = front_paint(ctx);
        auto blue = static_cast<uint8_t>(paint.blue), green = static_cast<uint8_t>(paint.green),
             red = static_cast<uint8_t>(paint.red);
        if (ctx->bytes_per_pixel == 3)
            span_copy3(p, count, blue, green, red);
        else
            span_copy4(p, count, blue, green, red);
        return;
    }
    const Paint paint = front_paint(ctx);
    for (int64_t i = 0; i < count; ++i, p += ctx->bytes_per_pixel)
        write_pixel(ctx, p, static_cast<int32_t>(x + i), static_cast<int32_t>(y), paint);
}

// `count` pixels of column x from row y downwards; already clipped. Rows
// further down the picture lie one pitch lower in memory.
void fill_column(DrawingContext* ctx, int64_t x, int64_t y, int64_t count)
{
    uint8_t* p = pixel_address(ctx, x, y);
    const ptrdiff_t step = ctx->pitch;
    if ((ctx->mode & ~DRAW_OUTLINE) == DRAW_COPY) {
        const Paint paint = front_paint(ctx);
        auto blue = static_cast<uint8_t>(paint.blue), green = static_cast<uint8_t>(paint.green),
             red = static_cast<uint8_t>(paint.red);
        if (ctx->bytes_per_pixel == 3 && x + 1 < ctx->width) {
            // One 4-byte store per pixel, which writes the blue byte of the
            // pixel to the right back unchanged.
            static_assert(std::endian::native == std::endian::little);
            const uint32_t pixel = blue | (green << 8) | (red << 16);
            for (; count > 0; --count, p -= step) {
                uint32_t word;
                std::memcpy(&word, p, 4);
                word = (word & 0xFF000000u) | pixel;
                std::memcpy(p, &word, 4);
            }
            return;
        }
        const uint8_t pair[2] = {blue, green};
        for (; count > 0; --count, p -= step) {
            std::memcpy(p, pair, 2);
            p[2] = red;
        }
        return;
    }
    const Paint paint = front_paint(ctx);
    for (int64_t i = 0; i < count; ++i, p -= step)
        write_pixel(ctx, p, static_cast<int32_t>(x), static_cast<int32_t>(y + i), paint);
}

// --- Boxes -------------------------------------------------------------------

void filled_box(DrawingContext* ctx, int64_t x, int64_t y, int64_t width, int64_t height)
{
    if (x < 0) {
        width += x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        y = 0;
    }
    if (x + width > ctx->width) width = ctx->width - x;
    if (y + height > ctx->height) height = ctx->height - y;
    if (width <= 0 || height <= 0 || !ctx->pixels) return;

    if (ctx->mode == DRAW_COPY && ctx->bytes_per_pixel == 3) {
        uint8_t* row = pixel_address(ctx, x, y);
        const ptrdiff_t pitch = ctx->pitch;
        const Paint paint = front_paint(ctx);
        auto blue = static_cast<uint8_t>(paint.blue), green = static_cast<uint8_t>(paint.green),
             red = static_cast<uint8_t>(paint.red);
        for (; height > 0; --height, row -= pitch) span_copy3(row, width, blue, green, red);
        return;
    }
    for (int64_t row = 0; row < height; ++row) fill_row(ctx, x, y + row, width);
}

void raster_box(DrawingContext* ctx, int32_t x, int32_t y, int32_t width, int32_t height)
{
    box_area(ctx, x, y, width, height);
}

// --- Lines -------------------------------------------------------------------

// Moves the end points of a line onto 0 .. limit - 1 along the axis `a`,
// correcting the other coordinate `b` along the line. False when the whole
// line lies on one side of the range.
bool clip_axis(int64_t& a1, int64_t& b1, int64_t& a2, int64_t& b2, int64_t limit)
{
    const int64_t high = limit - 1;
    if (limit <= 0 || (a1 < 0 && a2 < 0) || (a1 > high && a2 > high)) return false;
    const double slope_b = static_cast<double>(b2 - b1), slope_a = static_cast<double>(a2 - a1);
    auto move = [&](int64_t& a, int64_t& b, int64_t bound) {
        b = static_cast<int64_t>(std::trunc(static_cast<double>(b) + static_cast<double>(bound - a) * slope_b / slope_a));
        a = bound;
    };
    if (a1 < 0) move(a1, b1, 0);
    if (a1 > high) move(a1, b1, high);
    if (a2 < 0) move(a2, b2, 0);
    if (a2 > high) move(a2, b2, high);
    return true;
}

int64_t clamp64(int64_t value, int64_t low, int64_t high)
{
    return value < low ? low : value > high ? high : value;
}

// Bresenham between two end points inside the output; `put` writes one pixel.
// On an error term of 0 the minor coordinate steps.
template <typename Put>
void bresenham(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Put put)
{
    int64_t dx = x2 - x1, dy = y2 - y1;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (ady <= adx) {
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        const int64_t step = y2 >= y1 ? 1 : -1;
        int64_t error = 2 * ady - adx;
        put(x1, y1);
        for (int64_t x = x1 + 1, y = y1; x <= x2; ++x) {
            if (error < 0) {
                error += 2 * ady;
            } else {
                y += step;
                error += 2 * (ady - adx);
            }
            put(x, y);
        }
    } else {
        if (y1 > y2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        const int64_t step = x2 >= x1 ? 1 : -1;
        int64_t error = 2 * adx - ady;
        put(x1, y1);
        for (int64_t y = y1 + 1, x = x1; y <= y2; ++y) {
            if (error < 0) {
                error += 2 * adx;
            } else {
                x += step;
                error += 2 * (adx - ady);
            }
            put(x, y);
        }
    }
}

void raster_line(DrawingContext* ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (y1 == y2) {
        horizontal_run(ctx, x1 < x2 ? x1 : x2, y1, (x1 < x2 ? int64_t{x2} - x1 : int64_t{x1} - x2) + 1);
        return;
    }
    if (x1 == x2) {
        vertical_run(ctx, x1, y1 < y2 ? y1 : y2, (y1 < y2 ? int64_t{y2} - y1 : int64_t{y1} - y2) + 1);
        return;
    }
    if (!ctx->pixels) return;
    int64_t ax = x1, ay = y1, bx = x2, by = y2;
    if (!clip_axis(ax, ay, bx, by, ctx->width) || !clip_axis(ay, ax, by, bx, ctx->height)) return;
    // The clipped points lie inside already; rounding must not be able to
    // push one out by a hair.
    const int64_t right = ctx->width - 1, bottom = ctx->height - 1;
    ax = clamp64(ax, 0, right);
    bx = clamp64(bx, 0, right);
    ay = clamp64(ay, 0, bottom);
    by = clamp64(by, 0, bottom);

    if (ctx->mode == DRAW_COPY || ctx->mode == DRAW_OUTLINE) {
        const Paint paint = front_paint(ctx);
        auto blue = static_cast<uint8_t>(paint.blue), green = static_cast<uint8_t>(paint.green),
             red = static_cast<uint8_t>(paint.red);
        bresenham(ax, ay, bx, by, [&](int64_t x, int64_t y) {
            uint8_t* p = pixel_address(ctx, x, y);
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        });
        return;
    }
    const Paint paint = front_paint(ctx);
    bresenham(ax, ay, bx, by, [&](int64_t x, int64_t y) {
        write_pixel(ctx, pixel_address(ctx, x, y), static_cast<int32_t>(x), static_cast<int32_t>(y), paint);
    });
}

// --- Single pixels -----------------------------------------------------------

bool inside(const DrawingContext* ctx, int32_t x, int32_t y)
{
    return ctx->pixels && x >= 0 && y >= 0 && x < ctx->width && y < ctx->height;
}

void plot_copy(DrawingContext* ctx, int32_t x, int32_t y)
{
    if (!inside(ctx, x, y)) return;
    const Paint paint = front_paint(ctx);
    uint8_t* p = pixel_address(ctx, x, y);
    p[0] = static_cast<uint8_t>(paint.blue);
    p[1] = static_cast<uint8_t>(paint.green);
    p[2] = static_cast<uint8_t>(paint.red);
}

void plot_mode(DrawingContext* ctx, int32_t x, int32_t y)
{
    if (inside(ctx, x, y)) write_pixel(ctx, pixel_address(ctx, x, y), x, y, front_paint(ctx));
}

void plot_colour_copy(DrawingContext* ctx, int32_t x, int32_t y, int32_t colour)
{
    if (!inside(ctx, x, y)) return;
    uint8_t* p = pixel_address(ctx, x, y);
    p[0] = static_cast<uint8_t>(channel(colour, 16));
    p[1] = static_cast<uint8_t>(channel(colour, 8));
    p[2] = static_cast<uint8_t>(channel(colour, 0));
}

void plot_colour_mode(DrawingContext* ctx, int32_t x, int32_t y, int32_t colour)
{
    if (inside(ctx, x, y)) write_pixel(ctx, pixel_address(ctx, x, y), x, y, paint_of(ctx, colour));
}

int32_t read_colour(DrawingContext* ctx, int32_t x, int32_t y)
{
    return inside(ctx, x, y) ? colour_at(pixel_address(ctx, x, y), false) : 0;
}

int32_t read_colour_alpha(DrawingContext* ctx, int32_t x, int32_t y)
{
    return inside(ctx, x, y) ? colour_at(pixel_address(ctx, x, y), true) : 0;
}

// --- Mode and context operations ---------------------------------------------

void raster_set_mode(DrawingContext* ctx, int32_t mode)
{
    if (mode & DRAW_ARGB) {
        mode &= ~(DRAW_ALPHA_ONLY | DRAW_BLEND | DRAW_BLEND_KEEP_ALPHA);
        if (ctx->bytes_per_pixel != 4) mode &= ~DRAW_ARGB;
    }
    ctx->mode = mode;
    ctx->premultiply = (mode & (DRAW_BLEND | DRAW_BLEND_KEEP_ALPHA)) &&
                       !(mode & (DRAW_XOR | DRAW_GRADIENT | DRAW_FILTER | DRAW_ARGB));
    ctx->gradient_on = (mode & DRAW_GRADIENT) != 0;
    ctx->filter_on = (mode & DRAW_FILTER) != 0;
    const bool copy = (mode & ~DRAW_OUTLINE) == DRAW_COPY;
    ctx->plot = copy ? plot_copy : plot_mode;
    ctx->plot_colour = copy ? plot_colour_copy : plot_colour_mode;
    ctx->read_pixel = ctx->bytes_per_pixel == 4 && (mode & READS_ALPHA) ? read_colour_alpha : read_colour;
    // Premultiplication may have changed, so the stored components are redone.
    apply_front(ctx, ctx->front_colour);
    apply_back(ctx, ctx->back_colour);
}

uint8_t* raster_pixel_buffer(DrawingContext* ctx)
{
    return ctx->pixels;
}

int32_t raster_pixel_pitch(DrawingContext* ctx)
{
    return ctx->pitch;
}

int32_t raster_pixel_format(DrawingContext* ctx)
{
    return ctx->format;
}

// Frees what the rasteriser made during the drawing.
void free_work_memory(DrawingContext* ctx)
{
    destroy_block_pool(ctx->fill_pool);
    ctx->fill_pool = nullptr;
    main_free(ctx->fill_row_buffer);
    ctx->fill_row_buffer = nullptr;
    for (GradientStop* stop = ctx->gradient_stops; stop;) {
        GradientStop* next = stop->next;
        main_free(stop);
        stop = next;
    }
    ctx->gradient_stops = nullptr;
}

// The primitive wrappers' colour step: a colour that differs from the last one
// is recorded, and handed to the set_front_colour operation when that is not
// the rasteriser's own, whose work front_paint does when drawing.
inline void take_colour(DrawingContext* ctx, int32_t colour)
{
    if (colour == ctx->front_colour) return;
    ctx->front_colour = colour;
    if (ctx->set_front_colour && ctx->set_front_colour != raster_set_front_colour)
        ctx->set_front_colour(ctx, colour);
}

// Rows of a 3-byte box in the default mode that lies inside the output.
[[gnu::noinline]] void box_rows(uint8_t* row, ptrdiff_t pitch, int32_t width, int32_t height, int32_t colour)
{
    auto blue = static_cast<uint8_t>(colour >> 16), green = static_cast<uint8_t>(colour >> 8),
         red = static_cast<uint8_t>(colour);
    for (; height > 0; --height, row -= pitch) span_copy3(row, width, blue, green, red);
}

// The parts of draw_box off its fast path. They take draw_box's own
// arguments, so that handing over moves no registers.
[[gnu::noinline, gnu::cold]] void clipped_box(int32_t x, int32_t y, int32_t width, int32_t height)
{
    box_area(g_current, x, y, width, height);
}

[[gnu::noinline, gnu::cold]] void other_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || !ctx->box) return;
    take_colour(ctx, colour);
    ctx->box(ctx, x, y, width, height);
}

}  // namespace

void horizontal_run(DrawingContext* ctx, int64_t x, int64_t y, int64_t count)
{
    if (y < 0 || y >= ctx->height || !ctx->pixels) return;
    if (x < 0) {
        count += x;
        x = 0;
    }
    if (x + count > ctx->width) count = ctx->width - x;
    if (count > 0) fill_row(ctx, x, y, count);
}

void vertical_run(DrawingContext* ctx, int64_t x, int64_t y, int64_t count)
{
    if (x < 0 || x >= ctx->width || !ctx->pixels) return;
    if (y < 0) {
        count += y;
        y = 0;
    }
    if (y + count > ctx->height) count = ctx->height - y;
    if (count > 0) fill_column(ctx, x, y, count);
}

void box_area(DrawingContext* ctx, int64_t x, int64_t y, int64_t width, int64_t height)
{
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    if (!(ctx->mode & DRAW_OUTLINE)) {
        filled_box(ctx, x, y, width, height);
        return;
    }
    // An outline of an empty box is empty; a one-pixel-high or -wide one draws
    // its single row or column once, so that XOR does not undo it.
    if (width == 0 || height == 0) return;
    horizontal_run(ctx, x, y, width);
    if (height > 1) horizontal_run(ctx, x, y + height - 1, width);
    vertical_run(ctx, x, y + 1, height - 2);
    if (width > 1) vertical_run(ctx, x + width - 1, y + 1, height - 2);
}

// --- Library -----------------------------------------------------------------

void init_drawing()
{
    g_current = nullptr;
}

DrawingContext* create_drawing_context(int32_t pixel_format)
{
    auto* ctx = static_cast<DrawingContext*>(main_alloc(sizeof(DrawingContext)));
    if (!ctx) return nullptr;
    g_current = ctx;
    ctx->format = pixel_format | PIXEL_ROWS_BOTTOM_UP;
    ctx->bytes_per_pixel = (pixel_format & 0x60) ? 4 : 3;
    ctx->mode = DRAW_COPY;
    ctx->gradient_front_colour = static_cast<int32_t>(0xFFFFFFFFu);
    ctx->gradient_back_colour = static_cast<int32_t>(0xFF000000u);
    ctx->front_colour = 0;
    ctx->back_colour = 0;
    ctx->gradient_callback = full_gradient;
    ctx->filter_callback = unchanged_pixel;

    ctx->set_back_colour = raster_set_back_colour;
    ctx->box = raster_box;
    ctx->round_box = raster_round_box;
    ctx->pixel_buffer = raster_pixel_buffer;
    ctx->pixel_pitch = raster_pixel_pitch;
    ctx->pixel_format = raster_pixel_format;
    ctx->set_mode = raster_set_mode;
    ctx->ellipse = raster_ellipse;
    ctx->fill_area = raster_fill_area;
    ctx->set_front_colour = raster_set_front_colour;
    ctx->line = raster_line;
    raster_set_mode(ctx, DRAW_COPY);

    install_platform_operations(ctx);
    return ctx;
}

DrawingContext* current_context()
{
    return g_current;
}

int32_t row_pitch(int32_t width, int32_t bits_per_pixel)
{
    const int64_t w = width;
    int64_t pitch;
    switch (bits_per_pixel) {
    case 1: pitch = (w + 31) / 32 * 4; break;
    case 4: pitch = (w + 7) / 8 * 4; break;
    case 8: pitch = (w + 3) / 4 * 4; break;
    case 15:
    case 16: pitch = (w + 1) / 2 * 4; break;
    case 24: pitch = (w + 1) * 3 / 4 * 4; break;
    default: pitch = w * 4; break;
    }
    return static_cast<int32_t>(pitch);
}

intptr_t start_drawing(DrawingContext* output)
{
    if (!output) return 0;
    intptr_t handle = output->start ? output->start(output) : 0;
    if (handle) return handle;
    if (output->release) output->release(output, 0);
    if (g_current == output) g_current = nullptr;
    free_work_memory(output);
    main_free(output);
    return 0;
}

void stop_drawing()
{
    DrawingContext* ctx = g_current;
    if (!ctx) return;
    if (ctx->stop) ctx->stop(ctx);
    free_work_memory(ctx);
    if (ctx->release) ctx->release(ctx, 1);
    g_current = nullptr;
    main_free(ctx);
}

int32_t rgb(int32_t red, int32_t green, int32_t blue)
{
    return static_cast<int32_t>(static_cast<uint32_t>(red) + static_cast<uint32_t>(green) * 256u +
                                static_cast<uint32_t>(blue) * 65536u);
}

void set_front_colour(int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx) return;
    ctx->front_colour = colour;
    if (ctx->set_front_colour) ctx->set_front_colour(ctx, colour);
}

void set_back_colour(int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx) return;
    ctx->back_colour = colour;
    if (ctx->set_back_colour) ctx->set_back_colour(ctx, colour);
}

void set_mode(int32_t mode)
{
    DrawingContext* ctx = g_current;
    if (ctx && ctx->set_mode) ctx->set_mode(ctx, mode);
}

void draw_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || ctx->box != raster_box || ctx->set_front_colour != raster_set_front_colour) {
        other_box(x, y, width, height, colour);
        return;
    }
    // With the rasteriser's own operations the colour step only records the
    // colour (front_paint works out its parts when a primitive needs them), so
    // it is done without testing whether the colour changed: on a picture of
    // bits the colours alternate at random and the test would cost more.
    ctx->front_colour = colour;
    // The view's path: many tiny boxes inside a 3-byte output in the default
    // mode. Everything else, boxes that need clipping included, goes the
    // general way.
    if ((ctx->mode | (ctx->bytes_per_pixel ^ 3)) != 0 || !ctx->pixels || (x | y) < 0 || width <= 0 ||
        height <= 0 || int64_t{x} + width > ctx->width || int64_t{y} + height > ctx->height) {
        clipped_box(x, y, width, height);
        return;
    }
    uint8_t* p = ctx->pixels + (int64_t{ctx->height} - 1 - y) * ctx->pitch + int64_t{x} * 3;
    if (((width ^ 1) | (height ^ 1)) == 0) {
        // Blue and green as one 2-byte store, then red.
        const auto blue_green = static_cast<uint16_t>(((colour >> 16) & 0xFF) | (colour & 0xFF00));
        std::memcpy(p, &blue_green, 2);
        p[2] = static_cast<uint8_t>(colour);
        return;
    }
    box_rows(p, ctx->pitch, width, height, colour);
}

void draw_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || !ctx->line) return;
    take_colour(ctx, colour);
    ctx->line(ctx, x1, y1, x2, y2);
}

void round_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius_x, int32_t radius_y,
               int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || !ctx->round_box) return;
    take_colour(ctx, colour);
    ctx->round_box(ctx, x, y, width, height, radius_x, radius_y);
}

void ellipse(int32_t x, int32_t y, int32_t radius_x, int32_t radius_y, int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || !ctx->ellipse) return;
    take_colour(ctx, colour);
    ctx->ellipse(ctx, x, y, radius_x, radius_y);
}

void fill_area(int32_t x, int32_t y, int32_t colour, int32_t border_colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || !ctx->fill_area) return;
    take_colour(ctx, colour);
    ctx->fill_area(ctx, x, y, border_colour);
}

void plot(int32_t x, int32_t y, int32_t colour)
{
    DrawingContext* ctx = g_current;
    if (!ctx || !ctx->plot) return;
    take_colour(ctx, colour);
    ctx->plot(ctx, x, y);
}

int32_t read_pixel(int32_t x, int32_t y)
{
    DrawingContext* ctx = g_current;
    return ctx && ctx->read_pixel ? ctx->read_pixel(ctx, x, y) : 0;
}

void draw_image(NativeHandle image, int32_t x, int32_t y)
{
    DrawingContext* ctx = g_current;
    if (ctx && ctx->draw_image) ctx->draw_image(ctx, image, x, y);
}

void draw_image_sized(NativeHandle image, int32_t x, int32_t y, int32_t width, int32_t height)
{
    DrawingContext* ctx = g_current;
    if (ctx && ctx->draw_image_sized) ctx->draw_image_sized(ctx, image, x, y, width, height);
}

void draw_image_alpha(NativeHandle image, int32_t x, int32_t y, int32_t alpha)
{
    DrawingContext* ctx = g_current;
    if (ctx && ctx->draw_image_alpha) ctx->draw_image_alpha(ctx, image, x, y, alpha);
}

int32_t draw_text(int32_t x, int32_t y, const char* text)
{
    DrawingContext* ctx = g_current;
    return ctx && ctx->draw_text ? ctx->draw_text(ctx, x, y, text) : 0;
}

void draw_text_rotated(int32_t x, int32_t y, const char* text, float angle)
{
    DrawingContext* ctx = g_current;
    if (ctx && ctx->draw_text_rotated) ctx->draw_text_rotated(ctx, x, y, text, angle);
}

int32_t text_width(const char* text)
{
    DrawingContext* ctx = g_current;
    return ctx && ctx->text_width ? ctx->text_width(ctx, text) : 0;
}

int32_t text_height(const char* text)
{
    DrawingContext* ctx = g_current;
    return ctx && ctx->text_height ? ctx->text_height(ctx, text) : 0;
}

intptr_t grab_image(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height)
{
    DrawingContext* ctx = g_current;
    return ctx && ctx->grab_image ? ctx->grab_image(ctx, number, x, y, width, height) : 0;
}

// --- Pixel transfer ----------------------------------------------------------

void transfer_pixels(DrawingContext* ctx, const uint8_t* source, int32_t source_width, int32_t source_height,
                     int32_t source_pitch, int32_t source_bytes_per_pixel, int32_t x, int32_t y, int32_t alpha,
                     bool per_pixel_alpha)
{
    if (!ctx || !ctx->pixels || !source || alpha <= 0) return;
    if (source_bytes_per_pixel != 3 && source_bytes_per_pixel != 4) return;
    if (alpha > 255) alpha = 255;
    int64_t width = source_width, height = source_height;
    // A source row must hold its pixels, or the copy would read past it.
    if (width <= 0 || height <= 0 || source_pitch < width * source_bytes_per_pixel) return;

    // Rows are counted in memory order, bottom row first, for both bitmaps.
    int64_t left = x, bottom = int64_t{ctx->height} - y - height, skip_columns = 0, skip_rows = 0;
    if (left < 0) {
        skip_columns = -left;
        width += left;
        left = 0;
    }
    if (bottom < 0) {
        skip_rows = -bottom;
        height += bottom;
        bottom = 0;
    }
    if (left + width > ctx->width) width = ctx->width - left;
    if (bottom + height > ctx->height) height = ctx->height - bottom;
    if (width <= 0 || height <= 0) return;

    const int32_t out_bpp = ctx->bytes_per_pixel, in_bpp = source_bytes_per_pixel;
    const int32_t mode = ctx->mode & ~DRAW_OUTLINE;
    const bool copy = mode == DRAW_COPY;
    const bool source_alpha =
        in_bpp == 4 && (per_pixel_alpha || (mode & (DRAW_BLEND | DRAW_BLEND_KEEP_ALPHA)));
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* in = source + (skip_rows + row) * int64_t{source_pitch} + skip_columns * in_bpp;
        uint8_t* out = ctx->pixels + (bottom + row) * int64_t{ctx->pitch} + left * out_bpp;
        if (copy && alpha == 255 && in_bpp == 3 && out_bpp == 3) {
            std::memcpy(out, in, static_cast<size_t>(width) * 3);
            continue;
        }
        const auto picture_y = static_cast<int32_t>(int64_t{ctx->height} - 1 - bottom - row);
        for (int64_t column = 0; column < width; ++column, in += in_bpp, out += out_bpp) {
            int32_t weight = alpha;
            if (source_alpha) weight = (weight * in[3] + 127) / 255;
            if (copy) {
                if (weight == 255) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                } else if (weight > 0) {
                    const int32_t keep = 255 - weight;
                    for (int i = 0; i < 3; ++i)
                        out[i] = static_cast<uint8_t>((out[i] * keep + in[i] * weight) / 255);
                }
                continue;
            }
            const int32_t colour = colour_at(in, false) | static_cast<int32_t>(static_cast<uint32_t>(weight) << 24);
            write_pixel(ctx, out, static_cast<int32_t>(left + column), picture_y, paint_of(ctx, colour));
        }
    }
}
