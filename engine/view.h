// view.h: drawing the view, a pure function of the view parameters and the
// loaded bytes. Reading the parameters from the gadgets (redraw_view) is the
// program's business; everything here is platform-neutral, so it is tested,
// fuzzed and measured on the host as well.
#pragma once

#include <cstdint>

constexpr int32_t VIEW_WIDTH = 641;
constexpr int32_t VIEW_HEIGHT = 481;

// What one redraw shows. The values are those read from the gadgets and the
// viewer state; start_position is the row position times the width plus the
// offset, kept in 64 bits so that it never wraps.
struct ViewParameters {
    int32_t sprsize;         // bytes per row, 1 to 80
    int32_t zoom;            // 1, 2 or 8
    int32_t grid_x;          // grid spacing in pixels, 1 to 25
    int32_t grid_y;
    bool grid;               // the check boxes
    bool multi_columns;
    bool invert;
    bool align_to_grid;
    int64_t start_position;  // index of the first byte shown
};

// The loaded bytes: data is null when nothing is loaded (then length is 0).
struct ViewData {
    const uint8_t* data;
    int64_t length;
};

// Draws the whole view into a VIEW_WIDTH x VIEW_HEIGHT, 24-bit, bottom-up
// pixel buffer with `pitch` bytes per row: black background, one square per
// bit, blue where the data ends, the red grid on top. Never reads outside the
// data block nor writes outside the buffer's VIEW_WIDTH x 3 bytes of each row.
void render_view(const ViewParameters& view, const ViewData& data, uint8_t* pixels, int32_t pitch);

// The same picture drawn step by step with one draw_box per bit and
// draw_line per grid line on the current drawing context: the reference that
// render_view must match pixel for pixel.
void render_view_reference(const ViewParameters& view, const ViewData& data);

// How many bytes from start_position on the drawing of `view` can read: the
// bytes outside start_position .. start_position + view_reach - 1 never
// change its picture. A front end that holds only part of a file passes
// those bytes.
int64_t view_reach(const ViewParameters& view);

// How many rows of sprsize bytes from start_position on the drawing of
// `view` shows one after another, each across its whole width: the rows of
// the columns that lie wholly on the canvas. A row counts as drawn when its
// top pixel row is on the canvas: at zoom 2 and 8 a column's last row is cut
// by the canvas's bottom edge (481 pixels are 240 x 2 + 1 and 60 x 8 + 1).
int64_t view_whole_rows(const ViewParameters& view);

// The window title of the view, written on the string stack at `position`
// ("Bitloupe, sprsize:2, grid:8x16 disp:1024 zoom:8").
void view_title(const ViewParameters& view, int32_t position);

// Reads a title as view_title writes it back into `view`: sprsize, the grid
// (on with its sizes when the title names it, else off), start_position and
// zoom; the other fields are left as they are. Returns false, leaving `view`
// unchanged, for any other text or a value out of the gadgets' ranges
// (sprsize 1 to 80, grid 1 to 25, zoom 1, 2 or 8).
bool parse_view_title(const char* title, ViewParameters& view);
