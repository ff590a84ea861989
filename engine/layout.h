// layout.h: pictures of raw bits in the layouts real data uses.
//
// A file is read as a stream of bits: bit p of the stream is bit 7 - p % 8 of
// byte p / 8 (most significant bit first), or bit p % 8 with `lsb`. A picture
// of width W takes its rows from that stream:
//   horizontal: pixel x of row r is stream bit start + r * stride + x;
//   vertical:   a byte is 8 pixels on top of one another, W bytes make a band
//               of W columns and 8 rows, and pixel x of row r is stream bit
//               start + (r / 8) * stride + 8 * x + r % 8.
// `bottom_up` reverses the order of the rows, `invert` complements the bits.
// A set bit is a white pixel, as the viewer shows it; bits past the end of the
// file are black whatever else is chosen.
#pragma once

#include <cstdint>

#include "position_limit.h"

constexpr int64_t LAYOUT_MAX_WIDTH = int64_t{1} << 20;       // pixels a row
constexpr int64_t LAYOUT_MAX_ROWS = 2147483647;               // what PNG allows

struct BitLayout {
    int64_t start_bit;    // byte * 8 + bit, the bit counted in the chosen order
    int64_t width_bits;   // pixels a row, 1 to LAYOUT_MAX_WIDTH
    int64_t stride_bits;  // from one row (or band) to the next: default width (or 8 x width)
    int64_t rows;         // 1 to LAYOUT_MAX_ROWS
    bool lsb;
    bool vertical;
    bool bottom_up;
    bool invert;
};

// The stride a layout gets when none is given.
int64_t default_stride(int64_t width_bits, bool vertical);

// Whether every field is within range, so that no bit position overflows.
bool layout_valid(const BitLayout& layout);

// The bytes that row `y` of the picture reads, from `first` on.
struct ByteSpan {
    int64_t first;
    int64_t count;
};
ByteSpan layout_row_bytes(const BitLayout& layout, int64_t y);

// Bytes a packed row of the picture takes: one bit a pixel, eight to a byte.
int64_t packed_row_bytes(const BitLayout& layout);

// Decodes row `y` into `out` (packed_row_bytes bytes; the first pixel in the
// most significant bit, 1 for white, the padding bits 0). `bytes` holds the
// row's span (layout_row_bytes); only its first `available` bytes exist, the
// rest lie past the end of the file and are not read. Returns how many pixels
// of the row lay past the end.
int64_t decode_layout_row(const BitLayout& layout, int64_t y, const uint8_t* bytes, int64_t available, uint8_t* out);
