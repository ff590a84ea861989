// Tests of the software rasteriser: pixel layout, clipping, lines, modes,
// transfers, shapes and the life of a drawing. Every output lies between
// guard bytes, and the checks of what was drawn also see any change to the
// guards or to the rows' padding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "drawing.h"
#include "guarded_pixels.h"

namespace {

constexpr uint8_t PAPER = 0x11;  // every pixel and padding byte before drawing
constexpr int32_t RED = 0x0000FF;

using Pixels = std::set<std::pair<int, int>>;
const std::pair<int, int> OUTSIDE{-1, -1};  // stands for a changed guard or padding byte

Pixels area(int x1, int y1, int x2, int y2)
{
    Pixels result;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) result.insert({x, y});
    return result;
}

// A started drawing on memory with guard bytes on both sides.
class Canvas {
public:
    explicit Canvas(int32_t width, int32_t height, int32_t format = PIXEL_BGR24)
        : width_(width), height_(height), bpp_(format == PIXEL_BGRA32 ? 4 : 3),
          memory_(row_pitch(width, bpp_ * 8), height, PAPER)
    {
        ctx = memory_output(pixels(), width, height, memory_.pitch, format);
        if (!start_drawing(ctx)) ctx = nullptr;
    }
    ~Canvas()
    {
        if (ctx && current_context() == ctx) stop_drawing();
    }

    uint8_t* pixels() { return memory_.pixels(); }
    uint8_t* at(int x, int y) { return pixels() + static_cast<size_t>(height_ - 1 - y) * memory_.pitch + x * bpp_; }

    // The pixels that `drawing` changes, with OUTSIDE for anything else it changes.
    template <typename Drawing>
    Pixels draw(Drawing drawing)
    {
        const std::vector<uint8_t> before = memory_.memory;
        drawing();
        Pixels result;
        const size_t row_bytes = static_cast<size_t>(width_ * bpp_);
        for (size_t i = 0; i < before.size(); ++i) {
            if (memory_.memory[i] == before[i]) continue;
            if (memory_.outside(i, row_bytes)) {
                result.insert(OUTSIDE);
                continue;
            }
            const size_t offset = i - GuardedPixels::GUARD;
            result.insert({static_cast<int>(offset % memory_.pitch) / bpp_,
                           height_ - 1 - static_cast<int>(offset / memory_.pitch)});
        }
        return result;
    }
    // Guards and padding still hold what they held before any drawing.
    bool untouched_outside() const { return memory_.outside_untouched(static_cast<size_t>(width_ * bpp_)); }
    std::vector<uint8_t> memory() const { return memory_.memory; }

    DrawingContext* ctx = nullptr;

private:
    int32_t width_, height_, bpp_;
    GuardedPixels memory_;
};

TEST(Raster, RowPitchFollowsTheTable)
{
    EXPECT_EQ(row_pitch(641, 24), 1924);
    EXPECT_EQ(row_pitch(1, 24), 4);
    EXPECT_EQ(row_pitch(3, 24), 12);
    EXPECT_EQ(row_pitch(641, 32), 2564);
    EXPECT_EQ(row_pitch(33, 1), 8);
    EXPECT_EQ(row_pitch(9, 4), 8);
    EXPECT_EQ(row_pitch(5, 8), 8);
    EXPECT_EQ(row_pitch(3, 16), 8);
    EXPECT_EQ(row_pitch(3, 15), 8);
    EXPECT_EQ(row_pitch(3, 7), 12);
}

TEST(Raster, BoxesAreClippedAndStoredBottomUp)
{
    init_drawing();
    Canvas canvas(641, 481);
    draw_box(0, 0, 641, 481, 0);
    int black = 0;
    for (int y = 0; y < 481; ++y)
        for (int x = 0; x < 641; ++x) black += (canvas.at(x, y)[0] | canvas.at(x, y)[1] | canvas.at(x, y)[2]) == 0;
    EXPECT_EQ(black, 641 * 481);
    EXPECT_TRUE(canvas.untouched_outside());

    EXPECT_EQ(canvas.draw([] { draw_box(637, 5, 8, 8, RED); }), area(637, 5, 640, 12));
    EXPECT_EQ(canvas.draw([] { draw_box(10, 10, -3, 2, RED); }), area(7, 10, 9, 11));
    EXPECT_TRUE(canvas.draw([] {
        draw_box(641, 0, 8, 8, RED);
        draw_box(0, 481, 8, 8, RED);
        draw_box(5, 5, 0, 8, RED);
        draw_box(5, 5, 8, 0, RED);
        draw_box(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, RED);
    }).empty());

    // y = 0 is the last row in memory; red is byte 2 of a pixel.
    Canvas small(2, 2);
    draw_box(0, 0, 1, 1, RED);
    const uint8_t* bottom = small.pixels() + row_pitch(2, 24);
    EXPECT_EQ(bottom[0] | bottom[1], 0);
    EXPECT_EQ(bottom[2], 255);
    EXPECT_EQ(small.pixels()[0], PAPER);
}

TEST(Raster, LinesRunBetweenTheirEndPoints)
{
    init_drawing();
    Canvas canvas(641, 481);
    EXPECT_EQ(canvas.draw([] { draw_line(7, 0, 7, 481, 0x00FF00); }), area(7, 0, 7, 480));
    EXPECT_EQ(canvas.draw([] { draw_line(641, 9, 0, 9, RED); }), area(0, 9, 640, 9));
    EXPECT_EQ(canvas.at(300, 9)[0] | canvas.at(300, 9)[1], 0);
    EXPECT_EQ(canvas.at(300, 9)[2], 255);
    EXPECT_EQ(canvas.draw([] { draw_line(5, 5, 5, 5, RED); }), area(5, 5, 5, 5));
    EXPECT_TRUE(canvas.draw([] {
        draw_line(641, 0, 641, 481, RED);
        draw_line(0, -1, 640, -1, RED);
    }).empty());

    const Pixels bresenham{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
    EXPECT_EQ(canvas.draw([] { draw_line(0, 0, 4, 2, 0x00FF00); }), bresenham);
    EXPECT_EQ(canvas.draw([] { draw_line(4, 2, 0, 0, 0xFF0000); }), bresenham);  // from the other end
}

TEST(Raster, DiagonalLinesAreClippedAtEveryEdge)
{
    init_drawing();
    struct Line {
        int x1, y1, x2, y2;
    };
    const Line crossing[] = {{-30, 3, 10, 17},   {5, -40, 12, 15},  {3, 4, 70, 12},     {2, 3, 11, 90},
                             {-50, -60, 80, 70}, {-5, 25, 25, -5},  {30, 30, -10, -12}, {-100, 2, 100, 3},
                             {INT32_MIN, 0, INT32_MAX, 19},         {0, INT32_MAX, 19, INT32_MIN}};
    for (const Line& c : crossing) {
        Canvas canvas(20, 20);
        const Pixels drawn = canvas.draw([&] { draw_line(c.x1, c.y1, c.x2, c.y2, RED); });
        EXPECT_FALSE(drawn.empty()) << c.x1 << "," << c.y1;
        EXPECT_EQ(drawn.count(OUTSIDE), 0u) << c.x1 << "," << c.y1;
        // Every pixel lies within a pixel or so of the ideal line.
        const double dx = double(c.x2) - c.x1, dy = double(c.y2) - c.y1, length = std::hypot(dx, dy);
        for (auto [x, y] : drawn)
            EXPECT_LE(std::fabs(dy * (x - double(c.x1)) - dx * (y - double(c.y1))) / length, 1.5)
                << x << "," << y << " of " << c.x1 << "," << c.y1;
    }
    Canvas canvas(20, 20);
    EXPECT_TRUE(canvas.draw([] {
        draw_line(-10, -1, 30, -20, RED);  // above the output
        draw_line(25, 0, 40, 19, RED);     // right of it
    }).empty());
}

TEST(Raster, ColoursAndReadPixel)
{
    init_drawing();
    EXPECT_EQ(rgb(255, 0, 0), 0xFF);
    EXPECT_EQ(rgb(1, 2, 3), 0x030201);
    Canvas canvas(4, 2);
    draw_box(0, 0, 1, 1, rgb(255, 0, 0));
    EXPECT_EQ(read_pixel(0, 0), 255);
    draw_box(1, 0, 1, 1, static_cast<int32_t>(0x7F123456));  // alpha plays no part in copying
    EXPECT_EQ(read_pixel(1, 0), 0x123456);
    plot(2, 1, 0x00AB00);
    EXPECT_EQ(read_pixel(2, 1), 0x00AB00);
    EXPECT_EQ(read_pixel(-1, 0) | read_pixel(4, 0), 0);
    // The operations draw in the colour given to set_front_colour.
    set_front_colour(0x0000EE);
    canvas.ctx->box(canvas.ctx, 3, 0, 1, 1);
    canvas.ctx->line(canvas.ctx, 3, 1, 3, 1);
    EXPECT_EQ(read_pixel(3, 0), 0xEE);
    EXPECT_EQ(read_pixel(3, 1), 0xEE);
}

TEST(Raster, DrawingModes)
{
    init_drawing();
    {
        Canvas canvas(3, 1, PIXEL_BGRA32);
        canvas.at(0, 0)[3] = 100;
        draw_box(0, 0, 1, 1, 0x332264);
        EXPECT_EQ(canvas.at(0, 0)[3], 100);  // copying keeps alpha
        EXPECT_EQ(canvas.at(0, 0)[0], 0x33);
        set_mode(DRAW_ARGB);
        draw_box(1, 0, 1, 1, static_cast<int32_t>(0x80010203));
        EXPECT_EQ(read_pixel(1, 0), static_cast<int32_t>(0x80010203));
        set_mode(DRAW_ALPHA_ONLY);
        draw_box(2, 0, 1, 1, static_cast<int32_t>(0x7F000000));
        EXPECT_EQ(canvas.at(2, 0)[3], 0x7F);
        EXPECT_EQ(canvas.at(2, 0)[0], PAPER);
        // Blending 4-byte pixels also blends their own alpha, unless it is kept.
        set_mode(DRAW_BLEND);
        draw_box(0, 0, 1, 1, static_cast<int32_t>(0x800000C8));
        EXPECT_EQ(canvas.at(0, 0)[2], (100 * 127 + 200 * 128) / 255);
        EXPECT_EQ(canvas.at(0, 0)[3], (127 * 100 + 255 * 128) / 255);
        set_mode(DRAW_BLEND_KEEP_ALPHA);
        draw_box(0, 0, 1, 1, static_cast<int32_t>(0x80000000));
        EXPECT_EQ(canvas.at(0, 0)[3], (127 * 100 + 255 * 128) / 255);
        EXPECT_TRUE(canvas.untouched_outside());
    }
    Canvas canvas(16, 8);
    const std::vector<uint8_t> original = canvas.memory();
    set_mode(DRAW_XOR);
    for (int pass = 0; pass < 2; ++pass) {
        draw_box(1, 1, 9, 5, 0x5A3CF0);
        draw_line(0, 0, 15, 7, 0x010203);
        ellipse(8, 4, 5, 3, 0x777777);
        EXPECT_EQ(canvas.memory() == original, pass == 1);
    }
    set_mode(DRAW_ALPHA_ONLY);  // nothing to write on 3-byte pixels
    EXPECT_TRUE(canvas.draw([] {
        draw_box(0, 0, 16, 8, static_cast<int32_t>(0xFFFFFFFF));
        draw_line(0, 0, 15, 3, 0xFFFFFF);
    }).empty());
    set_mode(DRAW_FILTER);  // the initial filter keeps the pixel
    EXPECT_TRUE(canvas.draw([] { draw_box(0, 0, 16, 8, RED); }).empty());
    set_mode(DRAW_ARGB);  // dropped on 3-byte outputs
    EXPECT_EQ(canvas.ctx->mode, DRAW_COPY);

    set_mode(DRAW_BLEND);
    draw_box(0, 0, 1, 1, static_cast<int32_t>(0x80C8C8C8));
    EXPECT_EQ(canvas.at(0, 0)[1], (PAPER * 127 + 200 * 128) / 255);
    set_mode(DRAW_GRADIENT);  // the initial position 1.0 gives the gradient's front colour
    draw_box(1, 0, 1, 1, 0);
    EXPECT_EQ(read_pixel(1, 0), 0xFFFFFF);
    set_mode(DRAW_GRADIENT | DRAW_BLEND);  // blended with the gradient colour's own alpha, 255
    draw_box(2, 0, 1, 1, 0);
    EXPECT_EQ(read_pixel(2, 0), 0xFFFFFF);
    set_mode(DRAW_OUTLINE);
    EXPECT_EQ(canvas.draw([] { draw_box(2, 2, 4, 3, RED); }),
              (Pixels{{2, 2}, {3, 2}, {4, 2}, {5, 2}, {2, 3}, {5, 3}, {2, 4}, {3, 4}, {4, 4}, {5, 4}}));
}

TEST(Raster, TransferCopiesAndClips)
{
    init_drawing();
    const int32_t pitch = row_pitch(641, 24);
    std::vector<uint8_t> source(static_cast<size_t>(pitch) * 481);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    {
        Canvas canvas(641, 481);
        transfer_pixels(canvas.ctx, source.data(), 641, 481, pitch, 3, 0, 0, 255, false);
        for (int row = 0; row < 481; ++row)
            ASSERT_EQ(std::memcmp(canvas.pixels() + row * pitch, source.data() + row * pitch, 1923), 0) << row;
        transfer_pixels(canvas.ctx, source.data(), 641, 481, pitch, 3, -10, 0, 255, false);
        for (int row = 0; row < 481; ++row)
            ASSERT_EQ(std::memcmp(canvas.pixels() + row * pitch, source.data() + row * pitch + 30, 631 * 3), 0);
        EXPECT_TRUE(canvas.untouched_outside());
    }
    // A small source with a colour of its own in every pixel, across every edge.
    const int sw = 5, sh = 4, spitch = row_pitch(sw, 24);
    std::vector<uint8_t> small(static_cast<size_t>(spitch) * sh);
    auto source_colour = [](int x, int y) { return rgb(x * 40 + 1, y * 50 + 2, 9); };
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            uint8_t* p = small.data() + (sh - 1 - y) * spitch + x * 3;
            p[0] = 9, p[1] = static_cast<uint8_t>(y * 50 + 2), p[2] = static_cast<uint8_t>(x * 40 + 1);
        }
    const std::pair<int, int> places[] = {{-2, -1}, {-3, 5}, {7, -2}, {8, 6}, {2, 2}, {-5, 0}, {10, 0}};
    for (const auto& place : places) {
        const int left = place.first, top = place.second;
        Canvas canvas(10, 8);
        const Pixels drawn = canvas.draw(
            [&] { transfer_pixels(canvas.ctx, small.data(), sw, sh, spitch, 3, left, top, 255, false); });
        EXPECT_EQ(drawn, area(std::max(left, 0), std::max(top, 0), std::min(left + sw, 10) - 1,
                              std::min(top + sh, 8) - 1))
            << left << "," << top;
        for (auto [x, y] : drawn) EXPECT_EQ(read_pixel(x, y), source_colour(x - left, y - top));
    }
    // Alpha 0 draws nothing, other alphas blend; a 4-byte source may bring its own.
    Canvas canvas(2, 1);
    const uint8_t white[4] = {255, 255, 255, 0};
    transfer_pixels(canvas.ctx, white, 1, 1, 4, 3, 0, 0, 0, false);
    EXPECT_EQ(canvas.at(0, 0)[0], PAPER);
    transfer_pixels(canvas.ctx, white, 1, 1, 4, 3, 0, 0, 51, false);
    EXPECT_EQ(canvas.at(0, 0)[0], (PAPER * 204 + 255 * 51) / 255);
    const uint8_t half[8] = {255, 255, 255, 255, 255, 255, 255, 0};
    transfer_pixels(canvas.ctx, half, 2, 1, 8, 4, 0, 0, 255, true);
    EXPECT_EQ(canvas.at(0, 0)[1], 255);
    EXPECT_EQ(canvas.at(1, 0)[1], PAPER);
    transfer_pixels(canvas.ctx, half, 2, 1, 4, 4, 0, 0, 255, false);  // rows longer than the pitch
    transfer_pixels(canvas.ctx, nullptr, 2, 1, 8, 4, 0, 0, 255, false);
    EXPECT_EQ(canvas.at(1, 0)[1], PAPER);
    EXPECT_TRUE(canvas.untouched_outside());
}

int g_release_calls = 0;
int32_t g_release_argument = -1;

void (*g_output_release)(DrawingContext*, int32_t) = nullptr;  // the output's own clean-up

void record_release(DrawingContext* ctx, int32_t normal)
{
    ++g_release_calls;
    g_release_argument = normal;
    if (g_output_release) g_output_release(ctx, normal);
}

TEST(Raster, StartStopAndNoContext)
{
    init_drawing();
    EXPECT_EQ(start_drawing(nullptr), 0);
    DrawingContext* ctx = create_drawing_context(PIXEL_BGR24);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(current_context(), ctx);
    EXPECT_EQ(ctx->format, PIXEL_BGR24 | PIXEL_ROWS_BOTTOM_UP);
    EXPECT_EQ(ctx->bytes_per_pixel, 3);
    ctx->release = record_release;
    g_release_calls = 0;
    EXPECT_EQ(start_drawing(ctx), 0);  // no pixel memory
    EXPECT_EQ(g_release_calls, 1);
    EXPECT_EQ(g_release_argument, 0);
    EXPECT_EQ(current_context(), nullptr);

    // An output with pixel memory starts, and stopping releases it normally.
    uint8_t pixels[4] = {};
    ctx = memory_output(pixels, 1, 1, 4, PIXEL_BGRA32);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->bytes_per_pixel, 4);
    EXPECT_EQ(ctx->depth, 32);
    g_output_release = ctx->release;
    ctx->release = record_release;
    EXPECT_NE(start_drawing(ctx), 0);
    fill_area(0, 0, RED, -1);  // makes the fill's work memory, which stopping frees
    stop_drawing();
    EXPECT_EQ(g_release_calls, 2);
    EXPECT_EQ(g_release_argument, 1);
    EXPECT_EQ(pixels[2], 255);
    EXPECT_EQ(current_context(), nullptr);
    g_output_release = nullptr;

    stop_drawing();
    draw_box(0, 0, 10, 10, RED);
    draw_line(0, 0, 10, 10, RED);
    round_box(0, 0, 10, 10, 2, 2, RED);
    ellipse(5, 5, 3, 3, RED);
    fill_area(1, 1, RED, -1);
    plot(1, 1, RED);
    set_mode(DRAW_XOR);
    set_front_colour(RED);
    set_back_colour(RED);
    EXPECT_EQ(read_pixel(1, 1), 0);
    EXPECT_EQ(draw_text(3, 4, "text") | text_width("text"), 0);
    EXPECT_EQ(grab_image(1, 0, 0, 1, 1), 0);
}

TEST(Raster, ShapesStayInsideTheirBounds)
{
    init_drawing();
    Canvas canvas(24, 20);
    const Pixels filled = canvas.draw([] { ellipse(10, 10, 3, 2, RED); });
    Pixels expected = area(7, 9, 13, 11);
    expected.merge(area(8, 8, 12, 8));
    expected.merge(area(8, 12, 12, 12));
    EXPECT_EQ(filled, expected);
    set_mode(DRAW_OUTLINE);
    const Pixels outline = canvas.draw([] { ellipse(10, 10, 3, 2, 0x00FF00); });
    EXPECT_EQ(outline.size(), 16u);
    EXPECT_TRUE(std::includes(filled.begin(), filled.end(), outline.begin(), outline.end()));

    // A circle is the same with x and y exchanged, filled or outlined.
    for (int32_t mode : {DRAW_COPY, DRAW_OUTLINE}) {
        set_mode(mode);
        const Pixels circle = canvas.draw([mode] { ellipse(9, 9, 8, 8, 0x808080 + mode); });
        Pixels transposed;
        for (auto [x, y] : circle) transposed.insert({y, x});
        EXPECT_EQ(circle, transposed) << mode;
        EXPECT_EQ(circle.count({1, 9}) + circle.count({17, 9}) + circle.count({9, 1}) + circle.count({9, 17}), 4u);
    }

    const Pixels rounded = canvas.draw([] { round_box(2, 3, 12, 8, 3, 2, 0x0A0B0C); });
    set_mode(DRAW_COPY);
    const Pixels box = canvas.draw([] { round_box(2, 3, 12, 8, 3, 2, 0x0C0B0A); });
    EXPECT_TRUE(std::includes(box.begin(), box.end(), rounded.begin(), rounded.end()));
    EXPECT_EQ(box.count({2, 3}) + box.count({13, 3}) + box.count({2, 10}) + box.count({13, 10}), 0u);
    EXPECT_EQ(box.count({2, 6}) + box.count({13, 6}) + box.count({7, 3}) + box.count({7, 10}), 4u);
    const Pixels bounds = area(2, 3, 13, 10);
    EXPECT_TRUE(std::includes(bounds.begin(), bounds.end(), box.begin(), box.end()));

    // Huge and far-away shapes touch nothing outside the pixels.
    for (int32_t mode : {DRAW_COPY, DRAW_OUTLINE, DRAW_XOR | DRAW_OUTLINE}) {
        set_mode(mode);
        ellipse(12, 10, INT32_MAX, INT32_MIN, RED);
        ellipse(INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, 0x00FF00);
        ellipse(-40, 10, 45, 3, 0xFF0000);
        round_box(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, RED);
        round_box(-100000, 5, 200000, INT32_MAX, INT32_MAX, 50, 0x0F0F0F);
        round_box(20, 17, 100, 100, 10, 10, 0x654321);
    }
    EXPECT_TRUE(canvas.untouched_outside());
}

// An output whose rows have no padding ends at its last pixel byte; nothing
// may read or write past it (the sanitizers watch the heap block).
TEST(Raster, NothingBeyondTheLastPixel)
{
    init_drawing();
    std::vector<uint8_t> pixels(12 * 3, PAPER);  // 4 x 3 pixels, pitch 12
    DrawingContext* ctx = memory_output(pixels.data(), 4, 3, 12);
    ASSERT_TRUE(start_drawing(ctx));
    draw_line(3, 0, 3, 2, RED);
    draw_line(0, 0, 3, 2, 0x00FF00);
    draw_box(3, 0, 5, 5, RED);
    ellipse(3, 0, 2, 2, 0xFF0000);
    fill_area(3, 0, 0x0000AA, -1);
    const uint8_t source[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    transfer_pixels(ctx, source, 2, 2, 6, 3, 2, 0, 255, false);
    set_mode(DRAW_XOR);
    draw_line(3, 2, 3, 0, RED);
    EXPECT_EQ(pixels[18], 1);  // the source's bottom row went to (2, 1) ...
    EXPECT_EQ(pixels[30], 7);  // ... its top row to (2, 0)
    EXPECT_EQ(pixels[35], 12 ^ 0xFF);
    EXPECT_EQ(pixels[11], 0xAA ^ 0xFF);  // (3, 2) was filled, then inverted
    stop_drawing();
}

TEST(Raster, FillAreaFloodsARegion)
{
    init_drawing();
    Canvas canvas(16, 12);
    draw_box(0, 0, 16, 12, 0x202020);
    set_mode(DRAW_OUTLINE);
    draw_box(2, 2, 8, 6, RED);  // a closed frame around columns 3-8, rows 3-6
    set_mode(DRAW_COPY);
    plot(5, 4, 0x00FF00);  // an island of another colour inside
    Pixels inside = area(3, 3, 8, 6);
    EXPECT_EQ(canvas.draw([] { fill_area(4, 4, 0xFF0000, -1); }), (inside.erase({5, 4}), inside));
    inside.insert({5, 4});  // up to a border colour the fill covers the island too
    EXPECT_EQ(canvas.draw([] { fill_area(4, 4, 0x0000AA, RED); }), inside);

    // Filling with the seed's own colour, or in XOR mode, still ends.
    EXPECT_TRUE(canvas.draw([] { fill_area(12, 9, 0x202020, -1); }).empty());
    set_mode(DRAW_XOR);
    fill_area(12, 9, 0x0F0F0F, -1);
    EXPECT_EQ(read_pixel(0, 0), 0x2F2F2F);
    EXPECT_EQ(read_pixel(4, 4), 0x0000AA);
    EXPECT_TRUE(canvas.draw([] {
        fill_area(-1, 0, RED, -1);
        fill_area(16, 0, RED, -1);
    }).empty());
    EXPECT_TRUE(canvas.untouched_outside());
}

}  // namespace
