// Tests of the view drawing: the documented pictures on both the reference
// drawing and render_view, the title, and render_view matching the reference
// byte for byte over many random views. Every picture lies between guard
// bytes, and guards and row padding must come back untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drawing.h"
#include "guarded_pixels.h"
#include "strings.h"
#include "view.h"

namespace {

constexpr uint8_t PAPER = 0x5A;
constexpr int32_t BLACK = 0x000000, WHITE = 0xFFFFFF, BLUE = 0xFF0000, RED = 0x0000FF;

struct Picture : GuardedPixels {
    explicit Picture(int32_t pitch) : GuardedPixels(pitch, VIEW_HEIGHT, PAPER) {}
    int32_t at(int x, int y) const  // as rgb() packs it
    {
        const uint8_t* p = pixels() + size_t(VIEW_HEIGHT - 1 - y) * pitch + x * 3;
        return p[2] | p[1] << 8 | p[0] << 16;
    }
    bool outside_untouched() const { return GuardedPixels::outside_untouched(VIEW_WIDTH * 3u); }
};

Picture fast(const ViewParameters& view, const ViewData& data, int32_t pitch = 1924)
{
    Picture picture(pitch);
    render_view(view, data, picture.pixels(), pitch);
    return picture;
}

Picture reference(const ViewParameters& view, const ViewData& data, int32_t pitch = 1924)
{
    init_drawing();
    Picture picture(pitch);
    if (!start_drawing(memory_output(picture.pixels(), VIEW_WIDTH, VIEW_HEIGHT, pitch))) return picture;
    render_view_reference(view, data);
    stop_drawing();
    return picture;
}

ViewParameters defaults() { return ViewParameters{1, 1, 8, 8, false, false, false, false, 0}; }

template <typename Check>
void both(const ViewParameters& view, const ViewData& data, Check check)
{
    for (bool is_fast : {false, true}) {
        SCOPED_TRACE(is_fast ? "render_view" : "reference");
        const Picture picture = is_fast ? fast(view, data) : reference(view, data);
        EXPECT_TRUE(picture.outside_untouched());
        check(picture);
    }
}

// The byte shown by the eight squares from x at row y, or -1 if not black and white.
int byte_at(const Picture& picture, int x, int y, int zoom = 1)
{
    int value = 0;
    for (int j = 0; j < 8; ++j) {
        const int32_t colour = picture.at(x + j * zoom, y);
        if (colour != WHITE && colour != BLACK) return -1;
        value = value << 1 | (colour == WHITE);
    }
    return value;
}

uint32_t g_seed = 12345;
uint32_t next_random()
{
    g_seed = g_seed * 1664525u + 1013904223u;
    return g_seed >> 8;
}

TEST(View, NothingLoadedAndSmallFiles)
{
    ViewParameters view = defaults();
    both(view, ViewData{nullptr, 0}, [](const Picture& p) {
        int wrong = 0;
        for (int y = 0; y < VIEW_HEIGHT; ++y)
            for (int x = 0; x < VIEW_WIDTH; ++x) wrong += p.at(x, y) != (x >= 1 && x <= 8 ? BLUE : BLACK);
        EXPECT_EQ(wrong, 0);
    });
    // Before position 0 nothing loaded shows the row pattern: y itself.
    view.start_position = -300;
    both(view, ViewData{nullptr, 0}, [](const Picture& p) {
        EXPECT_EQ(byte_at(p, 1, 0xA7), 0xA7);
        EXPECT_EQ(byte_at(p, 1, 299), 299 & 0xFF);
        EXPECT_EQ(p.at(1, 300), BLUE);
    });

    const std::vector<uint8_t> file{0x80, 0x01, 0xFF};
    const ViewData data{file.data(), 3};
    for (bool invert : {false, true}) {
        view = defaults();
        view.invert = invert;
        both(view, data, [invert](const Picture& p) {
            const int mask = invert ? 0xFF : 0;
            EXPECT_EQ(byte_at(p, 1, 0), 0x80 ^ mask);
            EXPECT_EQ(byte_at(p, 1, 1), 0x01 ^ mask);
            EXPECT_EQ(byte_at(p, 1, 2), 0xFF ^ mask);
            int blue = 0;
            for (int y = 3; y < VIEW_HEIGHT; ++y)
                for (int x = 0; x <= 9; ++x) blue += p.at(x, y) == BLUE;
            EXPECT_EQ(blue, 478 * 8);
        });
    }
    // With data, positions before the start are never read and show blue.
    view = defaults();
    view.start_position = -2;
    both(view, data, [](const Picture& p) {
        EXPECT_EQ(p.at(1, 0), BLUE);
        EXPECT_EQ(p.at(8, 1), BLUE);
        EXPECT_EQ(byte_at(p, 1, 2), 0x80);
    });
}

TEST(View, ZoomAndLayout)
{
    std::vector<uint8_t> file(100000);
    for (size_t i = 0; i < file.size(); ++i) file[i] = uint8_t(i * 37 + (i >> 8));
    const ViewData data{file.data(), int64_t(file.size())};

    ViewParameters view = defaults();
    view.zoom = 8;
    const std::vector<uint8_t> ones(16, 0xFF);
    both(view, ViewData{ones.data(), 16}, [](const Picture& p) {
        for (int y = 0; y <= 7; ++y)
            for (int x = 0; x <= 16; ++x)
                EXPECT_EQ(p.at(x, y), x % 8 == 0 || y == 7 ? BLACK : WHITE) << x << "," << y;
        EXPECT_EQ(p.at(63, 0), WHITE);
        EXPECT_EQ(p.at(65, 0), BLACK);
        EXPECT_EQ(p.at(1, 128), BLUE);  // byte 16 is past the end
        EXPECT_EQ(p.at(7, 480), BLUE);  // row 60 starts at y 480, clipped
    });

    // Width 80 fills the canvas with its one column: MultiColumns changes nothing.
    view = defaults();
    view.sprsize = 80;
    const Picture single = fast(view, data);
    view.multi_columns = true;
    both(view, data, [&](const Picture& p) { EXPECT_EQ(p.memory, single.memory); });
    view.sprsize = 40;
    view.start_position = 7;
    both(view, data, [&](const Picture& p) {
        EXPECT_EQ(byte_at(p, 1, 0), file[7]);
        EXPECT_EQ(byte_at(p, 321, 0), file[7 + 481 * 40]);
        EXPECT_EQ(byte_at(p, 321 + 39 * 8, 480), file[7 + 2 * 481 * 40 - 1]);
    });

    // Align to grid Y 1: one row per column; Y 8: 545 rows, 481 of them visible.
    view = defaults();
    view.multi_columns = view.align_to_grid = true;
    view.grid_y = 1;
    both(view, data, [&](const Picture& p) {
        for (int n = 0; n < 80; ++n) EXPECT_EQ(byte_at(p, 1 + 8 * n, 0), file[n]);
        EXPECT_EQ(p.at(1, 1), BLACK);
    });
    view.grid_y = 8;
    both(view, data, [&](const Picture& p) {
        EXPECT_EQ(byte_at(p, 1, 480), file[480]);
        EXPECT_EQ(byte_at(p, 9, 0), file[545]);
        EXPECT_EQ(byte_at(p, 633, 0), file[79 * 545]);
    });

    // Width 2, zoom 2: 20 columns of 241 rows, 482 bytes each.
    view = defaults();
    view.sprsize = view.zoom = 2;
    view.multi_columns = true;
    view.start_position = 1000;
    both(view, data, [&](const Picture& p) {
        for (int n = 0; n < 20; ++n) {
            const int x = 1 + 32 * n;
            EXPECT_EQ(byte_at(p, x, 0, 2), file[1000 + 482 * n]);
            EXPECT_EQ(byte_at(p, x + 16, 1, 2), file[1000 + 482 * n + 1]);
            EXPECT_EQ(byte_at(p, x + 16, 480, 2), file[1000 + 482 * n + 481]);
        }
    });
}

TEST(View, GridAndTitle)
{
    ViewParameters view = defaults();
    view.grid = true;
    view.grid_x = view.grid_y = 25;
    both(view, ViewData{nullptr, 0}, [](const Picture& p) {
        std::vector<int> columns, rows, expected;
        for (int x = 0; x < VIEW_WIDTH; ++x)
            if (p.at(x, 1) == RED) columns.push_back(x);
        for (int y = 0; y < VIEW_HEIGHT; ++y)
            if (p.at(30, y) == RED) rows.push_back(y);
        for (int i = 0; i <= 625; i += 25) expected.push_back(i);
        EXPECT_EQ(columns, expected);
        expected.resize(20);  // up to 475
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(p.at(3, 1), BLUE);
        EXPECT_EQ(p.at(3, 25), RED);  // on top of the bits
    });

    auto title = [](const ViewParameters& v) {
        const int32_t start = string_position();
        view_title(v, start);
        std::string text = string_at(start);
        set_string_position(start);
        return text;
    };
    EXPECT_EQ(title(defaults()), "Bitloupe, sprsize:1 disp:0 zoom:1");
    view = defaults();
    view.sprsize = 2;
    view.zoom = 8;
    view.start_position = 1024;
    EXPECT_EQ(title(view), "Bitloupe, sprsize:2 disp:1024 zoom:8");
    view.grid = true;
    view.grid_y = 16;
    EXPECT_EQ(title(view), "Bitloupe, sprsize:2, grid:8x16 disp:1024 zoom:8");
    view.start_position = -5000000000;
    EXPECT_EQ(title(view), "Bitloupe, sprsize:2, grid:8x16 disp:-5000000000 zoom:8");

    // Every title reads back into the view it came from; the check boxes the
    // title does not show are left as they were.
    for (const bool grid : {false, true}) {
        view.grid = grid;
        view.multi_columns = true;
        ViewParameters read = defaults();
        read.multi_columns = true;
        read.grid_x = 3;
        ASSERT_TRUE(parse_view_title(title(view).c_str(), read)) << title(view);
        EXPECT_EQ(title(read), title(view));
        EXPECT_EQ(read.grid_x, grid ? 8 : 3);
        EXPECT_TRUE(read.multi_columns);
    }
    for (const char* bad : {"", "Bitloupe, sprsize:0 disp:0 zoom:1", "Bitloupe, sprsize:81 disp:0 zoom:1",
                            "Bitloupe, sprsize:1 disp:0 zoom:3", "Bitloupe, sprsize:1, grid:0x8 disp:0 zoom:1",
                            "Bitloupe, sprsize:1, grid:8x26 disp:0 zoom:1", "Bitloupe, sprsize:1 disp:0 zoom:1 x",
                            "Bitloupe, sprsize:1 disp:99999999999999999999 zoom:1", "Bitloupe, sprsize:1 disp: 5 zoom:1",
                            "bitloupe, sprsize:1 disp:0 zoom:1"}) {
        ViewParameters read = defaults();
        EXPECT_FALSE(parse_view_title(bad, read)) << bad;
        EXPECT_EQ(title(read), title(defaults())) << bad;
    }
}

TEST(View, RenderViewMatchesTheReference)
{
    const int32_t zooms[] = {1, 2, 8};
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> file(next_random() % 2001);  // exactly sized: ASan sees over-reads
        for (auto& b : file) b = uint8_t(next_random());
        const int64_t length = int64_t(file.size());
        const bool loaded = next_random() % 5 != 0;
        const ViewData data{loaded ? file.data() : nullptr, loaded ? length : 0};
        const uint32_t flags = next_random();
        ViewParameters view{int32_t(flags & 16 ? next_random() % 80 : next_random() % 6) + 1,
                            zooms[next_random() % 3],
                            int32_t(next_random() % 25) + 1,
                            int32_t(next_random() % 25) + 1,
                            bool(flags & 1), bool(flags & 2), bool(flags & 4), bool(flags & 8), 0};
        const int64_t shift = int64_t(next_random() % 4000) - 2000;
        switch (next_random() % 4) {
        case 0: view.start_position = -int64_t(next_random() % 5000); break;
        case 1: view.start_position = length + shift; break;
        case 2: view.start_position = flags & 32 ? INT64_MIN + shift * shift : INT64_MAX - shift * shift; break;
        default: view.start_position = next_random() % (length + 1);
        }
        const int32_t pitch = 1924 + 4 * int32_t(next_random() % 3);
        SCOPED_TRACE(testing::Message() << "case " << i << ", length " << length << ", loaded " << loaded
                                        << ", width " << view.sprsize << ", zoom " << view.zoom << ", grid "
                                        << view.grid_x << "x" << view.grid_y << ", flags " << (flags & 15)
                                        << ", start " << view.start_position << ", pitch " << pitch);
        const Picture actual = fast(view, data, pitch);
        ASSERT_TRUE(actual.outside_untouched());
        ASSERT_TRUE(reference(view, data, pitch).memory == actual.memory);

        // Only the bytes from the start to view_reach after it matter: the
        // same view over just those bytes, rebased, is the same picture.
        if (loaded && length > 0 && view.start_position > -(int64_t{1} << 61) &&
            view.start_position < (int64_t{1} << 61)) {
            const int64_t first = std::clamp<int64_t>(view.start_position, 0, length);
            const int64_t end = std::clamp<int64_t>(view.start_position + view_reach(view), first, length);
            std::vector<uint8_t> part(file.begin() + first, file.begin() + end);
            ViewParameters rebased = view;
            rebased.start_position -= first;
            const uint8_t none = 0;
            ASSERT_TRUE(fast(rebased, ViewData{part.empty() ? &none : part.data(), end - first}, pitch).memory ==
                        actual.memory);
        }
    }
    // A buffer whose rows would overlap is left alone.
    Picture narrow(1900);
    render_view(defaults(), ViewData{nullptr, 0}, narrow.pixels(), 1900);
    EXPECT_EQ(std::count(narrow.memory.begin(), narrow.memory.end(), PAPER), 1900 * VIEW_HEIGHT);
}

// Every row width with every offset from one row back to one row on, at every
// zoom, the check boxes taking all their 16 combinations in turn, over a small
// file: the first rows, then the file's end. The optimised Windows build draws
// every case and compares every 5th with the reference; the much slower
// sanitizer build takes every 61st case.
TEST(View, EveryWidthOffsetZoomAndToggle)
{
#ifdef _WIN32
    constexpr int32_t DRAW_EVERY = 1, COMPARE_EVERY = 5;
#else
    constexpr int32_t DRAW_EVERY = 61, COMPARE_EVERY = 61;
#endif
    std::vector<uint8_t> file(1500);  // exactly sized: ASan sees over-reads
    for (auto& b : file) b = uint8_t(next_random());
    const ViewData data{file.data(), int64_t(file.size())};
    Picture actual(1924);
    // One drawing serves every comparison: on Windows a start costs more than
    // the drawing itself.
    init_drawing();
    Picture expected(1924);
    ASSERT_TRUE(start_drawing(memory_output(expected.pixels(), VIEW_WIDTH, VIEW_HEIGHT, expected.pitch)));
    int32_t count = 0;
    for (int32_t zoom : {1, 2, 8}) {
        for (int32_t width = 1; width <= 80; ++width) {
            for (int32_t offset = -80; offset <= 80; ++offset, ++count) {
                if (count % DRAW_EVERY) continue;
                const uint32_t toggles = uint32_t(count) % 16;
                ViewParameters view{width, zoom, 1 + count % 25, 1 + (count / 25) % 25, bool(toggles & 1),
                                    bool(toggles & 2), bool(toggles & 4), bool(toggles & 8), 0};
                // Row 0, or the last row that still shows a byte of the file.
                const int64_t row = count % 2 ? 0 : int64_t(file.size()) / width;
                view.start_position = row * width + offset;
                std::fill(actual.memory.begin() + Picture::GUARD, actual.memory.end() - Picture::GUARD, PAPER);
                render_view(view, data, actual.pixels(), actual.pitch);
                ASSERT_TRUE(actual.outside_untouched()) << "zoom " << zoom << " width " << width << " offset "
                                                        << offset << " toggles " << toggles;
                if (count % COMPARE_EVERY == 0) {
                    std::fill(expected.memory.begin() + Picture::GUARD, expected.memory.end() - Picture::GUARD, PAPER);
                    render_view_reference(view, data);
                    ASSERT_TRUE(expected.memory == actual.memory)
                        << "zoom " << zoom << " width " << width << " offset " << offset << " toggles " << toggles
                        << " start " << view.start_position;
                }
            }
        }
    }
    stop_drawing();
    EXPECT_EQ(count, 3 * 80 * 161);
}

}  // namespace

// view_whole_rows against the drawing: the last byte of the last row it
// counts is on the canvas, the last byte of the row after it is not (that
// row lies in a column cut by the right edge, below the canvas, or nowhere).
TEST(View, WholeRowsAreTheRowsDrawn)
{
    for (const int32_t zoom : {1, 2, 8})
        for (const int32_t sprsize : {1, 3, 6, 40, 80})
            for (const bool multi : {false, true})
                for (const bool align : {false, true}) {
                    ViewParameters view{sprsize, zoom, 8, 8, false, multi, false, align, 0};
                    const int64_t rows = view_whole_rows(view);
                    SCOPED_TRACE(testing::Message() << "zoom " << zoom << ", width " << sprsize << ", multi " << multi
                                                    << ", align " << align << ": " << rows << " rows");
                    std::vector<uint8_t> file(size_t(view_reach(view)) + 2 * sprsize);
                    auto white = [&](int64_t byte) {
                        std::fill(file.begin(), file.end(), 0);
                        file[size_t(byte)] = 0xFF;
                        const Picture p = fast(view, ViewData{file.data(), int64_t(file.size())});
                        for (int y = 0; y < VIEW_HEIGHT; ++y)
                            for (int x = 0; x < VIEW_WIDTH; ++x)
                                if (p.at(x, y) == WHITE) return true;
                        return false;
                    };
                    if (rows > 0) {
                        EXPECT_TRUE(white(rows * sprsize - 1));
                    }
                    EXPECT_FALSE(white((rows + 1) * sprsize - 1));
                }
}
