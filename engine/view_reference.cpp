// view_reference.cpp: the view drawn the plain way, one draw_box per bit and
// one draw_line per grid line. It is slow and obviously right, and it is what
// render_view is checked against in the tests, the fuzzer and the benchmark.
#include <algorithm>

#include "drawing.h"
#include "strings.h"
#include "position_limit.h"
#include "view.h"

namespace {


}  // namespace

void render_view_reference(const ViewParameters& view, const ViewData& data)
{
    // The gadgets keep these within their ranges; clamping keeps a stray value
    // from looping forever or drawing a different layout than render_view.
    const int32_t sprsize = std::clamp(view.sprsize, 1, 80);
    const int32_t zoom = view.zoom == 2 || view.zoom == 8 ? view.zoom : 1;
    const int32_t grid_x = std::clamp(view.grid_x, 1, 25);
    const int32_t grid_y = std::clamp(view.grid_y, 1, 25);
    const bool loaded = data.data != nullptr;
    const int64_t length = loaded ? std::max<int64_t>(data.length, 0) : 0;

    const int32_t black = rgb(0, 0, 0), white = rgb(255, 255, 255), blue = rgb(0, 0, 255), red = rgb(255, 0, 0);
    draw_box(0, 0, VIEW_WIDTH, VIEW_HEIGHT, black);

    int32_t column_count = 1;
    if (view.multi_columns) column_count = double_to_long(641.0 / sprsize / 8.0);
    int32_t row_limit = VIEW_HEIGHT - 1;
    // Grid Y 1 divides by zero; the infinite quotient truncates to 0.
    if (view.align_to_grid) row_limit = grid_y * double_to_long((VIEW_HEIGHT + (-1.0)) / (grid_y + (-1.0)));

    // Past the furthest position lies no data and no byte a view can show:
    // clamping there changes no pixel and keeps the arithmetic from overflow.
    int64_t position = std::clamp(view.start_position, -POSITION_LIMIT, POSITION_LIMIT);
    const int32_t box = zoom == 8 ? 7 : zoom;
    for (int32_t col = 1; col <= column_count; col += zoom) {
        for (int32_t y = 0; y <= row_limit; y += zoom) {
            for (int32_t k = 1; k <= sprsize; ++k) {
                int32_t value = y;  // nothing loaded: the row's own pattern
                if (loaded) {
                    // Only positions inside the block are read.
                    value = position >= 0 && position < length ? data.data[position] : 0;
                    if (view.invert) value = 255 - value;
                }
                ++position;
                // Past the end is blue; with data, so is anything before its start.
                const bool outside = position > length || (loaded && position <= 0);
                for (int32_t j = 0; j < 8; ++j) {
                    const int32_t mask = 0x80 >> j;
                    int32_t colour = (value & mask) == mask ? white : black;
                    if (outside) colour = blue;
                    draw_box(1 + (col - 1) * sprsize * 8 + (k - 1) * 8 * zoom + j * zoom, y, box, box, colour);
                }
            }
        }
    }

    if (view.grid) {
        for (int32_t x = 0; x <= VIEW_WIDTH; x += grid_x) draw_line(x, 0, x, VIEW_HEIGHT, red);
        for (int32_t y = 0; y <= VIEW_HEIGHT; y += grid_y) draw_line(0, y, VIEW_WIDTH, y, red);
    }
}
