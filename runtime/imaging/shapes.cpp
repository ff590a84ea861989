// shapes.cpp: rounded boxes, ellipses and the area fill of the rasteriser.
//
// Ellipses and rounded corners are drawn row by row: for each visible row the
// half width of the shape comes from the midpoint rule (a pixel belongs to the
// shape when its centre lies inside the ellipse grown by half a pixel), so the
// work depends on the output's height and never on the radii. Only visible
// rows are visited and every run is clipped by the runs of raster.cpp.
#include <cmath>
#include <cstring>

#include "drawing.h"
#include "heap.h"
#include "pool.h"
#include "raster_internal.h"

namespace {

// Radii are limited so that the exact test below fits in 128 bits; a radius
// this large already spans far more than any output.
constexpr int64_t RADIUS_LIMIT = int64_t{1} << 29;

int64_t magnitude(int64_t value, int64_t limit)
{
    if (value < 0) value = -value;
    return value < limit ? value : limit;
}

// Half width of row `dy` (counted from the centre) of an ellipse with radii
// a and b: the largest x with (x / (a + 1/2))^2 + (dy / (b + 1/2))^2 <= 1, or -1
// when the row lies outside. Multiplied out by (2a + 1)^2 (2b + 1)^2 the test is
// exact in integers; the square root only gives the starting guess.
int64_t half_width(int64_t a, int64_t b, int64_t dy)
{
    if (dy < 0) dy = -dy;
    if (dy > b) return -1;
    using Wide = unsigned __int128;
    const Wide a2 = static_cast<Wide>(2 * a + 1) * static_cast<Wide>(2 * a + 1);
    const Wide b2 = static_cast<Wide>(2 * b + 1) * static_cast<Wide>(2 * b + 1);
    const Wide used = 4 * static_cast<Wide>(dy) * static_cast<Wide>(dy) * a2;
    const Wide whole = a2 * b2;
    if (used > whole) return -1;
    const Wide room = whole - used;
    auto fits = [&](int64_t x) { return 4 * static_cast<Wide>(x) * static_cast<Wide>(x) * b2 <= room; };

    const double share = 1.0 - 4.0 * static_cast<double>(dy) * static_cast<double>(dy) / static_cast<double>(b2);
    auto x = static_cast<int64_t>(0.5 * static_cast<double>(2 * a + 1) * std::sqrt(share > 0.0 ? share : 0.0));
    if (x > a) x = a;
    if (x < 0) x = 0;
    while (x > 0 && !fits(x)) --x;
    while (x < a && fits(x + 1)) ++x;
    return x;
}

// The outline pixels of one row of a curved edge: from the row's own extent
// `outer` in to just beyond the extent `next` of the row further from the
// middle, on the left of column `left_centre` and the right of `right_centre`.
// Rows whose two sides meet are drawn as one run so no pixel is written twice.
void outline_row(DrawingContext* ctx, int64_t row, int64_t left_centre, int64_t right_centre, int64_t outer,
                 int64_t next)
{
    const int64_t full = right_centre - left_centre + 2 * outer + 1;
    if (next < 0) {  // the outermost row
        horizontal_run(ctx, left_centre - outer, row, full);
        return;
    }
    const int64_t inner = next + 1 < outer ? next + 1 : outer;
    const int64_t left_end = left_centre - inner, right_start = right_centre + inner;
    if (left_end >= right_start) {
        horizontal_run(ctx, left_centre - outer, row, full);
        return;
    }
    horizontal_run(ctx, left_centre - outer, row, outer - inner + 1);
    horizontal_run(ctx, right_start, row, outer - inner + 1);
}

// --- Area fill ---------------------------------------------------------------

// One entry of the fill's work stack, from the context's fill pool: a pixel
// from which a run is to be filled, linked to the entry below it.
struct FillSeed {
    FillSeed* next;
    int32_t x, y;
};

// The fill marks every pixel it has filled in a mask of one bit per pixel, so
// that it ends whatever colours the current mode writes. The mask is kept in
// the fill row buffer, one row of bits per output row, behind a header that
// records its size.
struct MaskHeader {
    size_t bytes;
};

uint8_t* clear_mask(DrawingContext* ctx, int64_t bytes)
{
    constexpr auto header = static_cast<int64_t>(sizeof(MaskHeader));
    if (bytes <= 0 || bytes > (int64_t{1} << 40)) return nullptr;
    auto* current = reinterpret_cast<MaskHeader*>(ctx->fill_row_buffer);
    if (!current || current->bytes < static_cast<size_t>(bytes)) {
        main_free(ctx->fill_row_buffer);
        ctx->fill_row_buffer = static_cast<uint8_t*>(main_alloc(static_cast<size_t>(bytes + header)));
        if (!ctx->fill_row_buffer) return nullptr;
        current = reinterpret_cast<MaskHeader*>(ctx->fill_row_buffer);
        current->bytes = static_cast<size_t>(bytes);
        return ctx->fill_row_buffer + header;
    }
    std::memset(ctx->fill_row_buffer + header, 0, current->bytes);
    return ctx->fill_row_buffer + header;
}

struct AreaFill {
    DrawingContext* ctx;
    uint8_t* mask;
    int64_t mask_pitch;
    int32_t target;  // the seed's colour, or the border colour
    bool bordered;
    FillSeed* stack = nullptr;
    bool out_of_memory = false;

    int32_t colour(int64_t x, int64_t y) const
    {
        const uint8_t* p = ctx->pixels + (int64_t{ctx->height} - 1 - y) * ctx->pitch + x * ctx->bytes_per_pixel;
        return p[2] | (p[1] << 8) | (p[0] << 16);
    }

    bool filled(int64_t x, int64_t y) const { return mask[y * mask_pitch + (x >> 3)] & (1 << (x & 7)); }

    // Whether the fill spreads into pixel (x, y), which lies inside the output.
    bool open(int64_t x, int64_t y) const
    {
        if (filled(x, y)) return false;
        return bordered ? colour(x, y) != target : colour(x, y) == target;
    }

    void push(int64_t x, int64_t y)
    {
        auto* seed = static_cast<FillSeed*>(pool_allocate(ctx->fill_pool));
        if (!seed) {
            out_of_memory = true;
            return;
        }
        seed->next = stack;
        seed->x = static_cast<int32_t>(x);
        seed->y = static_cast<int32_t>(y);
        stack = seed;
    }

    // Pushes one seed for every run of open pixels of row y between left and right.
    void seed_row(int64_t left, int64_t right, int64_t y)
    {
        if (y < 0 || y >= ctx->height) return;
        bool in_run = false;
        for (int64_t x = left; x <= right && !out_of_memory; ++x) {
            const bool now = open(x, y);
            if (now && !in_run) push(x, y);
            in_run = now;
        }
    }

    void run()
    {
        while (stack && !out_of_memory) {
            FillSeed* seed = stack;
            stack = seed->next;
            const int64_t x = seed->x, y = seed->y;
            pool_free(ctx->fill_pool, seed);
            if (!open(x, y)) continue;
            int64_t left = x, right = x;
            while (left > 0 && open(left - 1, y)) --left;
            while (right < ctx->width - 1 && open(right + 1, y)) ++right;
            for (int64_t i = left; i <= right; ++i) mask[y * mask_pitch + (i >> 3)] |= uint8_t(1 << (i & 7));
            horizontal_run(ctx, left, y, right - left + 1);
            seed_row(left, right, y - 1);
            seed_row(left, right, y + 1);
        }
        // A fill stopped for lack of memory keeps what it has drawn.
        while (stack) {
            FillSeed* seed = stack;
            stack = seed->next;
            pool_free(ctx->fill_pool, seed);
        }
    }
};

}  // namespace

void raster_round_box(DrawingContext* ctx, int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius_x,
                      int32_t radius_y)
{
    int64_t left = x, top = y, w = width, h = height;
    if (w < 0) {
        left += w;
        w = -w;
    }
    if (h < 0) {
        top += h;
        h = -h;
    }
    const int64_t a = magnitude(radius_x, w / 2 < RADIUS_LIMIT ? w / 2 : RADIUS_LIMIT);
    const int64_t b = magnitude(radius_y, h / 2 < RADIUS_LIMIT ? h / 2 : RADIUS_LIMIT);
    if (a == 0 || b == 0) {
        box_area(ctx, left, top, w, h);
        return;
    }
    if (!ctx->pixels) return;
    // Centres of the corner ellipses; the straight edges lie between them.
    const int64_t upper = top + b, lower = top + h - 1 - b, left_centre = left + a, right_centre = left + w - 1 - a;
    const int64_t bottom_row = top + h - 1;
    auto extent = [&](int64_t row) {
        return half_width(a, b, row < upper ? upper - row : row > lower ? row - lower : 0);
    };
    const bool outline = ctx->mode & DRAW_OUTLINE;
    const int64_t first = top > 0 ? top : 0;
    const int64_t last = bottom_row < ctx->height - 1 ? bottom_row : int64_t{ctx->height} - 1;
    for (int64_t row = first; row <= last; ++row) {
        const int64_t outer = extent(row);
        if (!outline || row == top || row == bottom_row) {
            horizontal_run(ctx, left_centre - outer, row, right_centre - left_centre + 2 * outer + 1);
        } else if (row >= upper && row <= lower) {
            horizontal_run(ctx, left, row, 1);
            horizontal_run(ctx, left + w - 1, row, 1);
        } else {
            outline_row(ctx, row, left_centre, right_centre, outer, extent(row < upper ? row - 1 : row + 1));
        }
    }
}

void raster_ellipse(DrawingContext* ctx, int32_t x, int32_t y, int32_t radius_x, int32_t radius_y)
{
    if (!ctx->pixels) return;
    const int64_t a = magnitude(radius_x, RADIUS_LIMIT), b = magnitude(radius_y, RADIUS_LIMIT);
    const int64_t first = y - b > 0 ? y - b : 0;
    const int64_t last = y + b < ctx->height - 1 ? y + b : int64_t{ctx->height} - 1;
    const bool outline = ctx->mode & DRAW_OUTLINE;
    for (int64_t row = first; row <= last; ++row) {
        const int64_t dy = row - y, outer = half_width(a, b, dy);
        if (outline)
            outline_row(ctx, row, x, x, outer, half_width(a, b, dy < 0 ? dy - 1 : dy + 1));
        else
            horizontal_run(ctx, x - outer, row, 2 * outer + 1);
    }
}

void raster_fill_area(DrawingContext* ctx, int32_t x, int32_t y, int32_t border_colour)
{
    if (!ctx->pixels || x < 0 || y < 0 || x >= ctx->width || y >= ctx->height) return;
    if (!ctx->fill_pool) ctx->fill_pool = create_block_pool(sizeof(FillSeed), 128, 1024, POOL_UNLOCKED);
    if (!ctx->fill_pool) return;
    const int64_t mask_pitch = (int64_t{ctx->width} + 7) / 8;
    uint8_t* mask = clear_mask(ctx, mask_pitch * ctx->height);
    if (!mask) return;
    AreaFill fill{ctx, mask, mask_pitch, 0, border_colour != -1};
    fill.target = fill.bordered ? border_colour & 0xFFFFFF : fill.colour(x, y);
    fill.push(x, y);
    fill.run();
}
