// raster_internal.h: what raster.cpp and shapes.cpp share. The shapes draw
// through the clipped runs and boxes of raster.cpp, which installs the shapes'
// operations in every context.
#pragma once

#include <cstdint>

#include "drawing.h"

void horizontal_run(DrawingContext* ctx, int64_t x, int64_t y, int64_t count);
void vertical_run(DrawingContext* ctx, int64_t x, int64_t y, int64_t count);
void box_area(DrawingContext* ctx, int64_t x, int64_t y, int64_t width, int64_t height);
void raster_round_box(DrawingContext* ctx, int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius_x,
                      int32_t radius_y);
void raster_ellipse(DrawingContext* ctx, int32_t x, int32_t y, int32_t radius_x, int32_t radius_y);
void raster_fill_area(DrawingContext* ctx, int32_t x, int32_t y, int32_t border_colour);
