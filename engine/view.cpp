// view.cpp: the view drawn straight into the canvas's pixel memory.
//
// The picture is the one render_view_reference draws with a box per bit; this
// version gets there without the per-bit calls: each byte is copied as a
// ready-made run of pixels from a table, a bit row is written once and copied
// down for the other pixel rows of its squares, and rows below the canvas are
// skipped by working out where each column's bytes start. The background is
// laid in the same pass, so each pixel is written once before the grid.
#include <algorithm>
#include <cstring>

#include "strings.h"  // double_to_long
#include "position_limit.h"
#include "view.h"

namespace {

constexpr int32_t ROW_BYTES = VIEW_WIDTH * 3;  // the visible bytes of a row
constexpr int32_t LAST_ROW = VIEW_HEIGHT - 1;


// Pixel bytes are blue, green, red.
constexpr uint8_t WHITE[3] = {255, 255, 255};
constexpr uint8_t BLUE[3] = {255, 0, 0};
constexpr uint8_t RED[3] = {0, 0, 255};

// The pixels of one byte's row of squares, for every byte value and for the
// blue of a position outside the data, at each zoom. At zoom 8 a square is 7
// pixels wide and the eighth pixel is the black gap, written along with it.
template <int Z>
struct Expansion {
    uint8_t value[256][24 * Z];
    uint8_t blue[24 * Z];
};

template <int Z>
void fill_pixels(uint8_t* out, const uint8_t* colour, bool on)
{
    constexpr int box = Z == 8 ? 7 : Z;
    for (int i = 0; i < Z; ++i)
        for (int c = 0; c < 3; ++c) out[i * 3 + c] = on && i < box ? colour[c] : 0;
}

template <int Z>
void build(Expansion<Z>& table)
{
    for (int value = 0; value < 256; ++value)
        for (int j = 0; j < 8; ++j) fill_pixels<Z>(table.value[value] + j * Z * 3, WHITE, (value & (0x80 >> j)) != 0);
    for (int j = 0; j < 8; ++j) fill_pixels<Z>(table.blue + j * Z * 3, BLUE, true);
}

struct Tables {
    Expansion<1> zoom1;
    Expansion<2> zoom2;
    Expansion<8> zoom8;
    uint8_t red_row[ROW_BYTES];
};

const Tables& tables()
{
    static const Tables* made = [] {
        static Tables t;
        build(t.zoom1);
        build(t.zoom2);
        build(t.zoom8);
        for (int32_t x = 0; x < VIEW_WIDTH; ++x) std::memcpy(t.red_row + x * 3, RED, 3);
        return &t;
    }();
    return *made;
}

template <int Z>
const Expansion<Z>& expansion();
template <>
const Expansion<1>& expansion<1>() { return tables().zoom1; }
template <>
const Expansion<2>& expansion<2>() { return tables().zoom2; }
template <>
const Expansion<8>& expansion<8>() { return tables().zoom8; }

struct Layout {
    int32_t sprsize;
    int32_t columns;      // columns drawn
    int64_t rows;         // rows per column, visible or not
    int64_t start;
    const uint8_t* data;  // null: nothing loaded
    int64_t length;
    uint8_t invert;       // XOR mask for the data bytes
};

template <int Z>
void draw_bits(const Layout& layout, uint8_t* pixels, int32_t pitch)
{
    constexpr int32_t byte_pixels = 8 * Z;
    constexpr int32_t byte_bytes = 3 * byte_pixels;
    constexpr int32_t box = Z == 8 ? 7 : Z;
    static_assert((VIEW_WIDTH - 1) % byte_pixels == 0);
    const Expansion<Z>& table = expansion<Z>();
    const int32_t sprsize = layout.sprsize;
    const int32_t column_pixels = Z * sprsize * 8;
    // Columns sit side by side from x 1; whatever lies right of the last
    // visible one stays black.
    int32_t columns = 0;
    while (columns < layout.columns && 1 + columns * column_pixels < VIEW_WIDTH) ++columns;
    const int64_t visible_rows = columns ? std::min<int64_t>(layout.rows, LAST_ROW / Z + 1) : 0;
    const int32_t covered_end = std::min(1 + columns * column_pixels, VIEW_WIDTH) * 3;

    // Locals, not the struct's fields: the pixel stores could alias those.
    const uint8_t* const data = layout.data;
    const int64_t length = layout.length;
    const uint8_t invert = layout.invert;
    const int64_t column_step = layout.rows * sprsize;
    // Only the last column can run past the canvas. The canvas edge never
    // cuts a byte: the 640 pixels from x 1 are a multiple of a byte's width,
    // 8, 16 or 64, and so is every column's.
    const int32_t last_x0 = 1 + (columns - 1) * column_pixels;
    const int32_t last_whole = std::min(sprsize, (VIEW_WIDTH - last_x0) / byte_pixels);
    const int64_t row_reach = (columns - 1) * column_step + last_whole;

    // The canvas is filled one bit row at a time, left to right, so the
    // writes run through memory in order; each pixel is written once.
    for (int64_t r = 0; r < visible_rows; ++r) {
        const int32_t y = static_cast<int32_t>(r) * Z;
        uint8_t* row = pixels + static_cast<int64_t>(LAST_ROW - y) * pitch;
        auto pattern = [&](int64_t p) -> const uint8_t* {
            if (data) return p >= 0 && p < length ? table.value[data[p] ^ invert] : table.blue;
            return p >= 0 ? table.blue : table.value[y & 0xFF];
        };
        std::memset(row, 0, 3);
        uint8_t* out = row + 3;
        int64_t position = layout.start + r * sprsize;
        if (data && position >= 0 && position + row_reach <= length) {
            // Mostly the whole row lies inside the data: no byte needs a check.
            const uint8_t* bytes = data + position;
            for (int32_t n = 0; n < columns - 1; ++n, bytes += column_step, out += column_pixels * 3)
                for (int32_t k = 0; k < sprsize; ++k)
                    std::memcpy(out + k * byte_bytes, table.value[bytes[k] ^ invert], byte_bytes);
            for (int32_t k = 0; k < last_whole; ++k)
                std::memcpy(out + k * byte_bytes, table.value[bytes[k] ^ invert], byte_bytes);
        } else {
            for (int32_t n = 0; n < columns; ++n, position += column_step, out += column_pixels * 3) {
                const int32_t whole = n == columns - 1 ? last_whole : sprsize;
                for (int32_t k = 0; k < whole; ++k)
                    std::memcpy(out + k * byte_bytes, pattern(position + k), byte_bytes);
            }
        }
        std::memset(row + covered_end, 0, static_cast<size_t>(ROW_BYTES - covered_end));
        // The other pixel rows of the squares, then the gap row at zoom 8.
        for (int32_t i = 1; i < Z && y + i <= LAST_ROW; ++i) {
            if (i < box)
                std::memcpy(row - static_cast<int64_t>(i) * pitch, row, ROW_BYTES);
            else
                std::memset(row - static_cast<int64_t>(i) * pitch, 0, ROW_BYTES);
        }
    }
    for (int64_t y = visible_rows * Z; y <= LAST_ROW; ++y)
        std::memset(pixels + (LAST_ROW - y) * pitch, 0, ROW_BYTES);
}

void draw_grid(int32_t grid_x, int32_t grid_y, uint8_t* pixels, int32_t pitch)
{
    const uint8_t* red_row = tables().red_row;
    for (int32_t y = 0; y <= LAST_ROW; ++y) {
        uint8_t* row = pixels + static_cast<int64_t>(LAST_ROW - y) * pitch;
        if (y % grid_y == 0 || grid_x == 1) {
            std::memcpy(row, red_row, ROW_BYTES);
            continue;
        }
        for (int32_t x = 0; x < VIEW_WIDTH; x += grid_x) std::memcpy(row + x * 3, RED, 3);
    }
}

// The layout of one view: the values clamped exactly as
// render_view_reference clamps them, and the columns and rows it draws.
Layout make_layout(const ViewParameters& view, const ViewData& data)
{
    const int32_t sprsize = std::clamp(view.sprsize, 1, 80);
    const int32_t zoom = view.zoom == 2 || view.zoom == 8 ? view.zoom : 1;
    const int32_t grid_y = std::clamp(view.grid_y, 1, 25);

    // The column counter runs 1, 1 + zoom, ... up to column_count.
    int32_t column_count = 1;
    if (view.multi_columns) column_count = double_to_long(641.0 / sprsize / 8.0);
    int32_t row_limit = LAST_ROW;
    // Grid Y 1 divides by zero; the infinite quotient truncates to 0.
    if (view.align_to_grid) row_limit = grid_y * double_to_long((VIEW_HEIGHT + (-1.0)) / (grid_y + (-1.0)));

    Layout layout{};
    layout.sprsize = sprsize;
    layout.columns = column_count >= 1 ? (column_count - 1) / zoom + 1 : 0;
    layout.rows = row_limit / zoom + 1;
    // Past the furthest position lies no data and no byte a view can show:
    // clamping there changes no pixel and keeps the arithmetic from overflow.
    layout.start = std::clamp(view.start_position, -POSITION_LIMIT, POSITION_LIMIT);
    layout.data = data.data;
    layout.length = data.data ? std::max<int64_t>(data.length, 0) : 0;
    layout.invert = view.invert ? 0xFF : 0;
    return layout;
}

}  // namespace

void render_view(const ViewParameters& view, const ViewData& data, uint8_t* pixels, int32_t pitch)
{
    // Rows must not overlap; anything else is not a canvas and is left alone.
    if (!pixels || pitch < ROW_BYTES) return;
    const Layout layout = make_layout(view, data);
    const int32_t zoom = view.zoom == 2 || view.zoom == 8 ? view.zoom : 1;

    if (zoom == 1)
        draw_bits<1>(layout, pixels, pitch);
    else if (zoom == 2)
        draw_bits<2>(layout, pixels, pitch);
    else
        draw_bits<8>(layout, pixels, pitch);

    if (view.grid) draw_grid(std::clamp(view.grid_x, 1, 25), std::clamp(view.grid_y, 1, 25), pixels, pitch);
}

int64_t view_reach(const ViewParameters& view)
{
    const Layout layout = make_layout(view, ViewData{nullptr, 0});
    return layout.columns * layout.rows * layout.sprsize;
}

int64_t view_whole_rows(const ViewParameters& view)
{
    const Layout layout = make_layout(view, ViewData{nullptr, 0});
    const int32_t zoom = view.zoom == 2 || view.zoom == 8 ? view.zoom : 1;
    // Columns sit side by side from x 1, as draw_bits places them.
    const int32_t whole_columns = std::min(layout.columns, (VIEW_WIDTH - 1) / (zoom * layout.sprsize * 8));
    const int64_t drawn_rows = std::min<int64_t>(layout.rows, LAST_ROW / zoom + 1);
    if (whole_columns == 0) return 0;
    // Rows aligned to the grid can run below the canvas: the next column
    // then starts past rows that are not drawn.
    return drawn_rows == layout.rows ? whole_columns * layout.rows : drawn_rows;
}
